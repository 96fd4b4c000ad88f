#include "support/fakes.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "automation/text.h"

namespace zandrel::platform::fake {

using automation::LowerCase;

namespace {

std::string HiveName(Registry::Key hive) {
  switch (hive) {
    case 0x80000000u: return "HKEY_CLASSES_ROOT";
    case 0x80000001u: return "HKEY_CURRENT_USER";
    case 0x80000002u: return "HKEY_LOCAL_MACHINE";
    case 0x80000003u: return "HKEY_USERS";
    default: return "";
  }
}

constexpr std::int32_t kErrorFileNotFound = 2;
constexpr std::int32_t kErrorInvalidHandle = 6;
constexpr std::int32_t kErrorMoreData = 234;

}  // namespace

void MemoryRegistry::CreateKey(const std::string& keyPath) { keys_[LowerCase(keyPath)]; }

void MemoryRegistry::SetRaw(const std::string& keyPath, const std::string& name, std::uint32_t type,
                            std::vector<std::uint8_t> data) {
  keys_[LowerCase(keyPath)][LowerCase(name)] = Value{type, std::move(data)};
}

void MemoryRegistry::SetString(const std::string& keyPath, const std::string& name, const std::string& text) {
  std::vector<std::uint8_t> data(text.begin(), text.end());
  data.push_back(0);
  SetRaw(keyPath, name, kTypeString, std::move(data));
}

void MemoryRegistry::SetDword(const std::string& keyPath, const std::string& name, std::uint32_t value) {
  std::vector<std::uint8_t> data(4);
  std::memcpy(data.data(), &value, 4);
  SetRaw(keyPath, name, kTypeDword, std::move(data));
}

std::int32_t MemoryRegistry::OpenKey(Key hive, const std::string& subKey, std::uint32_t options,
                                     std::uint32_t access, Key* opened) {
  char detail[64];
  std::snprintf(detail, sizeof detail, " options=%u access=0x%X", options, access);
  std::string path = HiveName(hive) + "\\" + subKey;
  calls.push_back({"open", path + detail});
  auto found = keys_.find(LowerCase(path));
  if (found == keys_.end()) return kErrorFileNotFound;
  *opened = next_++;
  open_[*opened] = found->first;
  return 0;
}

std::int32_t MemoryRegistry::QueryValue(Key key, const std::string& valueName, std::uint32_t* type,
                                        std::uint8_t* data, std::uint32_t* size) {
  calls.push_back({"query", valueName + (data ? " data" : " size")});
  auto openKey = open_.find(key);
  if (openKey == open_.end()) return kErrorInvalidHandle;
  auto& values = keys_[openKey->second];
  auto value = values.find(LowerCase(valueName));
  if (value == values.end()) return kErrorFileNotFound;
  if (type) *type = value->second.type;
  const auto needed = static_cast<std::uint32_t>(value->second.data.size());
  if (data) {
    if (*size < needed) {
      *size = needed;
      return kErrorMoreData;
    }
    std::copy(value->second.data.begin(), value->second.data.end(), data);
  }
  *size = needed;
  return 0;
}

std::int32_t MemoryRegistry::CloseKey(Key key) {
  calls.push_back({"close", ""});
  return open_.erase(key) ? 0 : kErrorInvalidHandle;
}

namespace {

class MemoryFile : public AppendFile {
 public:
  MemoryFile(MemoryFileSystem& fs, std::string path) : fs_(fs), path_(std::move(path)) {}
  bool Write(std::string_view bytes) override {
    if (fs_.failWrites > 0) {
      --fs_.failWrites;
      return false;
    }
    fs_.files[path_] += bytes;
    return true;
  }
  bool Close() override {
    ++fs_.closes;
    return true;
  }

 private:
  MemoryFileSystem& fs_;
  std::string path_;
};

class PosixFile : public AppendFile {
 public:
  explicit PosixFile(std::FILE* f) : f_(f) {}
  ~PosixFile() override {
    if (f_) std::fclose(f_);
  }
  bool Write(std::string_view bytes) override { return std::fwrite(bytes.data(), 1, bytes.size(), f_) == bytes.size(); }
  bool Close() override { return std::fclose(std::exchange(f_, nullptr)) == 0; }

 private:
  std::FILE* f_;
};

}  // namespace

std::unique_ptr<AppendFile> MemoryFileSystem::OpenForAppend(const std::string& path) {
  ++opens;
  if (auto fail = failOpens.find(path); fail != failOpens.end() && fail->second != 0) {
    if (fail->second > 0) --fail->second;
    return nullptr;
  }
  files[path];  // created when missing
  return std::make_unique<MemoryFile>(*this, path);
}

std::unique_ptr<AppendFile> PosixFileSystem::OpenForAppend(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "ab");
  if (!f) return nullptr;
  return std::make_unique<PosixFile>(f);
}

const ScriptedWindows::Window* ScriptedWindows::Find(WindowHandle window) const {
  for (const Window& w : topLevel)
    if (w.handle == window) return &w;
  return nullptr;
}

bool ScriptedWindows::EnumTopLevel(EnumProc proc, std::intptr_t applicationValue) {
  for (const Window& w : topLevel)
    if (proc(w.handle, applicationValue) == 0) break;
  return true;
}

void ScriptedWindows::GetWindowProcessId(WindowHandle window, std::int32_t* pid) {
  if (const Window* w = Find(window)) *pid = w->pid;
}

namespace {
std::int32_t CopyOut(const std::string& text, char* buffer, std::int32_t maxCount) {
  if (maxCount <= 0) return 0;
  const auto n = static_cast<std::int32_t>(std::min<std::size_t>(text.size(), static_cast<std::size_t>(maxCount - 1)));
  std::memcpy(buffer, text.data(), static_cast<std::size_t>(n));
  buffer[n] = '\0';
  return n;
}
}  // namespace

std::int32_t ScriptedWindows::GetClassNameA(WindowHandle window, char* buffer, std::int32_t maxCount) {
  reads.push_back("class " + std::to_string(window));
  const Window* w = Find(window);
  return w ? CopyOut(w->className, buffer, maxCount) : 0;
}

std::int32_t ScriptedWindows::GetWindowTextA(WindowHandle window, char* buffer, std::int32_t maxCount) {
  reads.push_back("text " + std::to_string(window));
  const Window* w = Find(window);
  return w ? CopyOut(w->title, buffer, maxCount) : 0;
}

namespace {
class OwnedTimer : public ManualTimers::Timer {
 public:
  explicit OwnedTimer(ManualTimers& owner) : owner_(owner) { owner_.live.push_back(this); }
  ~OwnedTimer() override { std::erase(owner_.live, this); }

 private:
  ManualTimers& owner_;
};
}  // namespace

std::unique_ptr<WindowTimer> ManualTimers::Create(std::function<void()> onTick) {
  auto timer = std::make_unique<OwnedTimer>(*this);
  timer->tick = std::move(onTick);
  return timer;
}

void ManualTimers::TickAll() {
  std::vector<Timer*> due;
  for (Timer* t : live)
    if (t->enabled && t->interval != 0) due.push_back(t);
  for (Timer* t : due)
    if (std::find(live.begin(), live.end(), t) != live.end() && t->tick) t->tick();
}

FakeServices::FakeServices() : previous_(Services()) {
  Install(ServiceSet{&clock, &process, &registry, &codec, &files, &messageBoxes, &windows, &timers});
}

FakeServices::~FakeServices() { Install(previous_); }

}  // namespace zandrel::platform::fake
