#include "doctor/report.h"

#include <cstdio>

namespace zandrel::doctor {

const char* LevelName(Level level) {
  switch (level) {
    case Level::Ok: return "OK";
    case Level::Warn: return "WARN";
    case Level::Fail: return "FAIL";
  }
  return "?";
}

void Report::Add(Level level, std::string area, std::string what, std::string reason, std::string fix) {
  findings_.push_back(Finding{level, std::move(area), std::move(what), std::move(reason), std::move(fix)});
}

std::string Report::Text() const {
  std::string out;
  int counts[3] = {};
  for (const Finding& f : findings_) {
    ++counts[static_cast<int>(f.level)];
    std::string level = LevelName(f.level);
    level.resize(5, ' ');
    out += level + f.area + ": " + f.what + ": " + f.reason + "\n";
    if (f.level != Level::Ok && !f.fix.empty()) out += "       fix: " + f.fix + "\n";
  }
  out += std::to_string(counts[0]) + " OK, " + std::to_string(counts[1]) + " WARN, " + std::to_string(counts[2]) +
         " FAIL\n";
  return out;
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

std::string Report::Json() const {
  std::string out = "{\"findings\":[";
  int counts[3] = {};
  bool first = true;
  for (const Finding& f : findings_) {
    ++counts[static_cast<int>(f.level)];
    out += first ? "" : ",";
    first = false;
    out += "{\"level\":" + JsonString(LevelName(f.level)) + ",\"area\":" + JsonString(f.area) +
           ",\"what\":" + JsonString(f.what) + ",\"reason\":" + JsonString(f.reason) + ",\"fix\":" + JsonString(f.fix) +
           "}";
  }
  out += "],\"ok\":" + std::to_string(counts[0]) + ",\"warn\":" + std::to_string(counts[1]) +
         ",\"fail\":" + std::to_string(counts[2]) + "}\n";
  return out;
}

int Report::ExitCode() const {
  for (const Finding& f : findings_)
    if (f.level == Level::Fail) return 1;
  return 0;
}

bool WriteWholeFile(const std::string& path, std::string_view bytes, const OpenForWriting& open,
                    const RemoveFile& remove) {
  FILE* out = open(path);
  if (!out) return false;
  const bool whole = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  if (std::fclose(out) == 0 && whole) return true;
  remove(path);  // what a full disk or a lost share let through is no page
  return false;
}

}  // namespace zandrel::doctor
