#pragma once
// Native stand-ins for the platform services: a manual clock, an in-memory
// registry, in-memory and real files, recorded message boxes, a scripted
// window list and manual window timers. Tests, fuzz targets and benchmarks
// install them with Install() (see FakeServices below).

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace zandrel::platform::fake {

class ManualClock : public Clock {
 public:
  float TimeOfDay() override { return timeOfDay; }
  LocalTime ReadLocalTime() override { return {generalDate, timeOfDay}; }
  double Now() override { return now; }
  std::string DecimalSeparator() override { return decimalSeparator; }

  float timeOfDay = 0;
  std::string generalDate = "12/5/2026 1:07:44 AM";
  double now = 46361.04704;  // 5 December 2026, 1:07:44
  std::string decimalSeparator = ".";
};

class FakeProcess : public Process {
 public:
  std::int32_t CurrentProcessId() override { return pid; }
  void Sleep(std::uint32_t milliseconds) override { sleeps.push_back(milliseconds); }

  std::int32_t pid = 4242;
  std::vector<std::uint32_t> sleeps;
};

// Values live under "HIVE\path" keys, compared without regard to letter case
// as the registry does.
class MemoryRegistry : public Registry {
 public:
  struct Value {
    std::uint32_t type;
    std::vector<std::uint8_t> data;
  };
  struct Call {
    std::string what;  // "open", "query", "close"
    std::string detail;
  };

  void SetString(const std::string& keyPath, const std::string& name, const std::string& text);
  void SetDword(const std::string& keyPath, const std::string& name, std::uint32_t value);
  void SetRaw(const std::string& keyPath, const std::string& name, std::uint32_t type, std::vector<std::uint8_t> data);
  void CreateKey(const std::string& keyPath);

  std::int32_t OpenKey(Key hive, const std::string& subKey, std::uint32_t options, std::uint32_t access,
                       Key* opened) override;
  std::int32_t QueryValue(Key key, const std::string& valueName, std::uint32_t* type, std::uint8_t* data,
                          std::uint32_t* size) override;
  std::int32_t CloseKey(Key key) override;

  std::vector<Call> calls;
  std::size_t OpenKeys() const { return open_.size(); }

 private:
  std::map<std::string, std::map<std::string, Value>> keys_;  // folded key path -> folded name -> value
  std::map<Key, std::string> open_;
  Key next_ = 0x1000;
};

// UTF-8 is the native "ANSI" code page.
class PassThroughCodec : public TextCodec {
 public:
  std::string ToAnsi(std::string_view utf8) override { return std::string(utf8); }
  std::string FromAnsi(std::string_view ansi) override { return std::string(ansi); }
};

class MemoryFileSystem : public FileSystem {
 public:
  std::unique_ptr<AppendFile> OpenForAppend(const std::string& path) override;

  std::map<std::string, std::string> files;
  // Paths whose opens fail, and how many opens were tried.
  std::map<std::string, int> failOpens;  // path -> remaining failures (-1: always)
  int failWrites = 0;                     // the next n writes fail
  int opens = 0;
  int closes = 0;
};

// Real files, for native tools.
class PosixFileSystem : public FileSystem {
 public:
  std::unique_ptr<AppendFile> OpenForAppend(const std::string& path) override;
};

class RecordedMessageBoxes : public MessageBoxes {
 public:
  struct Shown {
    std::string text;
    std::string caption;
    std::uint32_t style;
  };
  std::int32_t Show(const std::string& text, const std::string& caption, std::uint32_t style) override {
    shown.push_back({text, caption, style});
    if (onShow) onShow();
    return 1;  // IDOK
  }
  std::vector<Shown> shown;
  std::function<void()> onShow;  // runs while the box is "open" (a nested message loop)
};

class ScriptedWindows : public Windows {
 public:
  struct Window {
    WindowHandle handle;
    std::int32_t pid;
    std::string className;
    std::string title;
  };
  bool EnumTopLevel(EnumProc proc, std::intptr_t applicationValue) override;
  void GetWindowProcessId(WindowHandle window, std::int32_t* pid) override;
  std::int32_t GetClassNameA(WindowHandle window, char* buffer, std::int32_t maxCount) override;
  std::int32_t GetWindowTextA(WindowHandle window, char* buffer, std::int32_t maxCount) override;

  std::vector<Window> topLevel;
  std::vector<std::string> reads;  // "class 0x..", "text 0x..": what was read, in order

 private:
  const Window* Find(WindowHandle window) const;
};

class ManualTimers : public Timers {
 public:
  class Timer : public WindowTimer {
   public:
    automation::Status Set(std::uint32_t intervalMs, bool on) override {
      if (failSets > 0) {
        --failSets;
        return automation::Error{-2147467259, "Unspecified error"};
      }
      interval = intervalMs;
      enabled = on;
      return automation::Status::Ok();
    }
    int failSets = 0;  // the next n changes fail
    std::uint32_t interval = 0;
    bool enabled = false;
    std::function<void()> tick;
  };

  std::unique_ptr<WindowTimer> Create(std::function<void()> onTick) override;

  // Delivers one tick to every enabled timer with a non-zero interval.
  void TickAll();
  std::vector<Timer*> live;  // timers not yet destroyed
};

// A whole set of stand-ins, installed for as long as the object lives.
class FakeServices {
 public:
  FakeServices();
  ~FakeServices();
  FakeServices(const FakeServices&) = delete;
  FakeServices& operator=(const FakeServices&) = delete;

  ManualClock clock;
  FakeProcess process;
  MemoryRegistry registry;
  PassThroughCodec codec;
  MemoryFileSystem files;
  RecordedMessageBoxes messageBoxes;
  ScriptedWindows windows;
  ManualTimers timers;

 private:
  ServiceSet previous_;
};

}  // namespace zandrel::platform::fake
