#pragma once
// What zandrel-doctor found: one finding a line, OK, WARN or FAIL, each with
// its reason and, when it is not OK, the fix. Shown as text for people and as
// JSON for scripts; any FAIL makes the exit code non-zero.

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace zandrel::doctor {

enum class Level { Ok, Warn, Fail };

struct Finding {
  Level level = Level::Ok;
  std::string area;    // "logger", "registration", "ide", "manager"
  std::string what;    // what was looked at
  std::string reason;  // what was found
  std::string fix;     // what to do about it (empty when OK)
};

class Report {
 public:
  void Add(Level level, std::string area, std::string what, std::string reason, std::string fix = {});
  void Add(Finding finding) { findings_.push_back(std::move(finding)); }
  const std::vector<Finding>& Findings() const { return findings_; }

  // "OK   logger: what: reason" lines, then "  fix: ..." under a finding
  // that is not OK, then a summary line.
  std::string Text() const;
  // {"findings":[{"level":"OK","area":..,"what":..,"reason":..,"fix":..}],
  //  "ok":N,"warn":N,"fail":N}
  std::string Json() const;
  // 1 when anything failed, else 0.
  int ExitCode() const;

 private:
  std::vector<Finding> findings_;
};

// Opens a file for writing, as std::fopen(path, "wb") (on Windows the path
// goes wide); removes one.
using OpenForWriting = std::function<std::FILE*(const std::string& path)>;
using RemoveFile = std::function<void(const std::string& path)>;

// Writes `bytes` as the whole of the file `path` (a page of the doctor's).
// False when it cannot: then the file is closed, and removed when it was
// written in part (a short write, a close that failed).
bool WriteWholeFile(const std::string& path, std::string_view bytes, const OpenForWriting& open,
                    const RemoveFile& remove);

const char* LevelName(Level level);
// Text as a JSON string, quotes included (control characters escaped; bytes
// of UTF-8 passed through).
std::string JsonString(const std::string& text);

}  // namespace zandrel::doctor
