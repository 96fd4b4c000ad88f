#!/usr/bin/env bash
# Signs a release the way tools/release does, with a throwaway CA and
# code-signing certificate made here with openssl, and holds every signature
# to that CA with osslsigncode verify:
#   signing_check.sh WORK BIN VERSION
# Into WORK/signed: the signed zandrel.dll and zandrel-doctor.exe and the
# signed machine installer. Prints one line a check; exit code 1 if any fails.
set -uo pipefail
work=$1 bin=$2 version=$3
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
pki=$work/pki signed=$work/signed
rm -rf "$pki" "$signed"
mkdir -p "$pki" "$signed"
status=0
say() { echo "signing: $*"; }
fail() { say "$*"; status=1; }

cat > "$pki/x509.cnf" <<'CNF'
[req]
distinguished_name=dn
[dn]
[ca]
basicConstraints=critical,CA:TRUE
keyUsage=critical,keyCertSign,cRLSign
subjectKeyIdentifier=hash
[signer]
basicConstraints=critical,CA:FALSE
keyUsage=critical,digitalSignature
extendedKeyUsage=codeSigning
subjectKeyIdentifier=hash
authorityKeyIdentifier=keyid
CNF
{
  openssl req -x509 -new -newkey rsa:2048 -nodes -keyout "$pki/ca.key" -out "$pki/ca.pem" -days 2 \
    -subj "/CN=zandrel test CA" -config "$pki/x509.cnf" -extensions ca &&
  openssl req -new -newkey rsa:2048 -nodes -keyout "$pki/signer.key" -out "$pki/signer.csr" \
    -subj "/CN=zandrel test signer" -config "$pki/x509.cnf" &&
  openssl x509 -req -in "$pki/signer.csr" -CA "$pki/ca.pem" -CAkey "$pki/ca.key" -CAcreateserial \
    -out "$pki/signer.pem" -days 2 -extfile "$pki/x509.cnf" -extensions signer &&
  echo "throwaway-$$" > "$pki/pass.txt" &&
  openssl pkcs12 -export -out "$pki/signer.pfx" -inkey "$pki/signer.key" -in "$pki/signer.pem" \
    -certfile "$pki/ca.pem" -passout "file:$pki/pass.txt"
} > "$pki/openssl.out" 2>&1 || { cat "$pki/openssl.out"; fail "openssl could not make the certificates"; exit 1; }

# A verdict as osslsigncode gives it against the throwaway CA.
verdict() {
  local out
  out=$(osslsigncode verify -CAfile "$pki/ca.pem" -in "$1" 2>&1)
  if grep -q "^Signature verification: ok" <<<"$out" && grep -q "Subject: /CN=zandrel test signer" <<<"$out"; then
    echo "ok, by CN=zandrel test signer"
  elif grep -q "^Signature verification: failed" <<<"$out" || grep -q "MISMATCH" <<<"$out"; then
    echo "failed"
  else
    echo "no signature"
  fi
}

msi=$signed/zandrel-$version-machine.msi
say "without a certificate: $("$root/installer/build-msi.sh" "$version" machine "$bin" i686-w64-mingw32-strip "$work/unsigned.msi" 2>&1)"
built=$(ZANDREL_SIGN_PFX=$pki/signer.pfx ZANDREL_SIGN_PASSWORD_FILE=$pki/pass.txt \
  "$root/installer/build-msi.sh" "$version" machine "$bin" i686-w64-mingw32-strip "$msi" "$signed" 2>&1) ||
  fail "build-msi with the certificate failed: $built"
[ -z "$built" ] || fail "build-msi with the certificate said: $built"
for f in "$signed/zandrel.dll" "$signed/zandrel-doctor.exe" "$msi"; do
  v=$(verdict "$f")
  say "$(basename "$f"): $v"
  [[ $v == ok* ]] || status=1
done
mkdir -p "$work/extracted"
msiextract -C "$work/extracted" "$msi" >/dev/null
v=$(verdict "$work/extracted/Program Files/zandrel/zandrel.dll")
say "zandrel.dll as the installer holds it: $v"
[[ $v == ok* ]] || status=1
v=$(verdict "$work/unsigned.msi")
say "the installer built without a certificate: $v"
[ "$v" = "no signature" ] || status=1

# One byte of the code changed after signing: the signature no longer holds.
cp "$signed/zandrel.dll" "$work/tampered.dll"
python3 -c "import sys; p=sys.argv[1]; d=bytearray(open(p,'rb').read()); d[0x1000]^=0xFF; open(p,'wb').write(d)" "$work/tampered.dll"
v=$(verdict "$work/tampered.dll")
say "a copy with one byte changed: $v"
[ "$v" = "failed" ] || status=1

# A wrong password: tools/sign says so and leaves the file as it was.
cp "$bin/zandrel.dll" "$work/wrong.dll"
before=$(sha256sum < "$work/wrong.dll")
echo wrong > "$pki/wrong.txt"
if ZANDREL_SIGN_PFX=$pki/signer.pfx ZANDREL_SIGN_PASSWORD_FILE=$pki/wrong.txt "$root/tools/sign" "$work/wrong.dll" >/dev/null 2>&1; then
  fail "a wrong password signed"
else
  [ "$before" = "$(sha256sum < "$work/wrong.dll")" ] && [ ! -e "$work/wrong.dll.signing" ] &&
    say "a wrong password: refused, the file left as it was" || fail "a wrong password changed the file"
fi
exit $status
