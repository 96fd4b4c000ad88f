// ExecuteExtendedCommand with any command word and any argument list (any
// lower bound, any element kinds, nested arrays, long texts), on an add-in
// connected to the stand-in IDE: it never crashes and never fails its caller.

#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "support/native_connect.h"
#include "fuzz_input.h"
#include "ide/ide_model.h"
#include "support/fakes.h"
#include "shared/debug_logger.h"
#include "shared/names.h"

using namespace zandrel;

namespace {

// The stand-in IDE opens real files: texts lose their slashes, and the path
// (the first element) is taken inside a folder of the run's own with one
// text file, so that nothing outside it is ever opened.
const std::string& ScratchFolder() {
  static const std::string folder = [] {
    char dir[] = "/tmp/zandrel-fuzz-XXXXXX";
    if (!mkdtemp(dir)) std::abort();
    std::ofstream(std::string(dir) + "/a.cpp") << "// a.cpp\nint main() {\n  return 0;\n}\n";
    return std::string(dir);
  }();
  return folder;
}

automation::Variant WithoutSlashes(automation::Variant v) {
  if (v.IsString()) {
    std::string s = v.AsString();
    for (char& c : s)
      if (c == '/') c = '_';
    return automation::Variant(std::move(s));
  }
  if (v.type() == automation::VarType::Array) {
    automation::VariantArray a = v.AsArray();
    for (auto& e : a.elements) e = WithoutSlashes(e);
    return automation::Variant(std::move(a));
  }
  return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in(data, size);
  platform::fake::FakeServices os;
  shared::ResetDebugLoggerForTesting();
  os.registry.SetDword("HKEY_LOCAL_MACHINE\\" ZANDREL_SETTINGS_KEY, "Debug", 0x7F004000);
  os.windows.topLevel = {{0x10030, os.process.pid, "IDEOwner", "Stand-in IDE"}};
  testbed::IdeModel ide;
  {
    auto connect = testing_support::AddInRef::Create(nullptr);
    automation::VariantArray custom;
    connect->OnConnection(ide.Root(), 1, ide.AddIn(), custom);
    for (int commands = 0; commands < 4 && !in.empty(); ++commands) {
      // The word: one of the two, in any letter case, or any text.
      std::string word;
      switch (in.Byte() % 4) {
        case 0: word = "openfile"; break;
        case 1: word = "ACTIVATE"; break;
        case 2: word = "OpenFile"; break;
        default: word = in.Text();
      }
      automation::VariantArray args;
      args.lowerBound = in.Raw<std::int32_t>();
      const int n = in.Byte() % 6;
      for (int i = 0; i < n; ++i) args.elements.push_back(WithoutSlashes(in.Value()));
      if (n > 0 && args.elements[0].IsString())
        args.elements[0] = automation::Variant(ScratchFolder() + "/" + args.elements[0].AsString());
      if (n > 0 && in.Byte() % 2) args.elements[0] = automation::Variant(ScratchFolder() + "/a.cpp");
      connect->ExecuteExtendedCommand(word, args);
    }
    connect->OnBeginShutdown(custom);
  }
  shared::ResetDebugLoggerForTesting();
  return 0;
}
