#pragma once
// The platform services installed now, wrapped so that each call is first put
// to a hook, which may make it fail the way the Win32 call fails: a registry
// call returns ERROR_ACCESS_DENIED, a file cannot be opened, written or closed,
// the date text is empty and the decimal separator the default, a message box
// cannot be shown (0), window enumeration stops before the first window, a
// window's process id is not given and its class name and title read empty, a
// timer cannot be set. Calls that cannot fail on Windows (the time of day,
// Now, the process id, Sleep, the code-page conversions) are passed on unasked.

#include <functional>
#include <memory>
#include <string>

#include "platform/platform.h"

namespace zandrel::testing_support {

class FaultyServices {
 public:
  // Asked before each call that can fail, with its name ("Registry.OpenKey");
  // true makes the call fail.
  using Hook = std::function<bool(const char* call)>;

  explicit FaultyServices(Hook hook) : hook_(std::move(hook)), inner_(platform::Services()) {
    platform::ServiceSet wrapped = inner_;
    wrapped.clock = &clock_;
    wrapped.registry = &registry_;
    wrapped.files = &files_;
    wrapped.messageBoxes = &boxes_;
    wrapped.windows = &windows_;
    wrapped.timers = &timers_;
    platform::Install(wrapped);
  }
  ~FaultyServices() { platform::Install(inner_); }
  FaultyServices(const FaultyServices&) = delete;
  FaultyServices& operator=(const FaultyServices&) = delete;

 private:
  static constexpr std::int32_t kAccessDenied = 5;
  static constexpr std::int32_t kInvalidHandle = 6;

  bool Fails(const char* call) const { return hook_ && hook_(call); }

  struct Clock : platform::Clock {
    FaultyServices& s;
    explicit Clock(FaultyServices& owner) : s(owner) {}
    float TimeOfDay() override { return s.inner_.clock->TimeOfDay(); }
    LocalTime ReadLocalTime() override {
      LocalTime now = s.inner_.clock->ReadLocalTime();
      if (s.Fails("Clock.ReadLocalTime")) now.generalDate.clear();
      return now;
    }
    double Now() override { return s.inner_.clock->Now(); }
    std::string DecimalSeparator() override {
      return s.Fails("Clock.DecimalSeparator") ? std::string(".") : s.inner_.clock->DecimalSeparator();
    }
  };

  struct Registry : platform::Registry {
    FaultyServices& s;
    explicit Registry(FaultyServices& owner) : s(owner) {}
    std::int32_t OpenKey(Key hive, const std::string& subKey, std::uint32_t options, std::uint32_t access,
                         Key* opened) override {
      if (s.Fails("Registry.OpenKey")) return kAccessDenied;
      return s.inner_.registry->OpenKey(hive, subKey, options, access, opened);
    }
    std::int32_t QueryValue(Key key, const std::string& valueName, std::uint32_t* type, std::uint8_t* data,
                            std::uint32_t* size) override {
      if (s.Fails("Registry.QueryValue")) return kAccessDenied;
      return s.inner_.registry->QueryValue(key, valueName, type, data, size);
    }
    // A close that fails has still given the key up, as far as the caller
    // can tell; the wrapped registry closes it so that none stays open.
    std::int32_t CloseKey(Key key) override {
      const bool fail = s.Fails("Registry.CloseKey");
      const std::int32_t rc = s.inner_.registry->CloseKey(key);
      return fail ? kInvalidHandle : rc;
    }
  };

  struct File : platform::AppendFile {
    FaultyServices& s;
    std::unique_ptr<platform::AppendFile> inner;
    File(FaultyServices& owner, std::unique_ptr<platform::AppendFile> f) : s(owner), inner(std::move(f)) {}
    bool Write(std::string_view bytes) override { return !s.Fails("File.Write") && inner->Write(bytes); }
    bool Close() override {
      const bool fail = s.Fails("File.Close");
      return inner->Close() && !fail;
    }
  };

  struct Files : platform::FileSystem {
    FaultyServices& s;
    explicit Files(FaultyServices& owner) : s(owner) {}
    std::unique_ptr<platform::AppendFile> OpenForAppend(const std::string& path) override {
      if (s.Fails("File.OpenForAppend")) return nullptr;
      auto file = s.inner_.files->OpenForAppend(path);
      if (!file) return nullptr;
      return std::make_unique<File>(s, std::move(file));
    }
  };

  struct Boxes : platform::MessageBoxes {
    FaultyServices& s;
    explicit Boxes(FaultyServices& owner) : s(owner) {}
    std::int32_t Show(const std::string& text, const std::string& caption, std::uint32_t style) override {
      if (s.Fails("MessageBoxes.Show")) return 0;
      return s.inner_.messageBoxes->Show(text, caption, style);
    }
  };

  struct Windows : platform::Windows {
    FaultyServices& s;
    explicit Windows(FaultyServices& owner) : s(owner) {}
    bool EnumTopLevel(EnumProc proc, std::intptr_t applicationValue) override {
      if (s.Fails("Windows.EnumTopLevel")) return false;
      return s.inner_.windows->EnumTopLevel(proc, applicationValue);
    }
    void GetWindowProcessId(platform::WindowHandle window, std::int32_t* pid) override {
      if (s.Fails("Windows.GetWindowProcessId")) return;
      s.inner_.windows->GetWindowProcessId(window, pid);
    }
    std::int32_t GetClassNameA(platform::WindowHandle window, char* buffer, std::int32_t maxCount) override {
      if (s.Fails("Windows.GetClassNameA")) return Empty(buffer, maxCount);
      return s.inner_.windows->GetClassNameA(window, buffer, maxCount);
    }
    std::int32_t GetWindowTextA(platform::WindowHandle window, char* buffer, std::int32_t maxCount) override {
      if (s.Fails("Windows.GetWindowTextA")) return Empty(buffer, maxCount);
      return s.inner_.windows->GetWindowTextA(window, buffer, maxCount);
    }
    static std::int32_t Empty(char* buffer, std::int32_t maxCount) {
      if (maxCount > 0) buffer[0] = '\0';
      return 0;
    }
  };

  struct Timer : platform::WindowTimer {
    FaultyServices& s;
    std::unique_ptr<platform::WindowTimer> inner;
    Timer(FaultyServices& owner, std::unique_ptr<platform::WindowTimer> t) : s(owner), inner(std::move(t)) {}
    automation::Status Set(std::uint32_t intervalMs, bool enabled) override {
      if (s.Fails("WindowTimer.Set")) return automation::Error{-2147467259, "SetTimer failed"};
      return inner->Set(intervalMs, enabled);
    }
  };

  struct Timers : platform::Timers {
    FaultyServices& s;
    explicit Timers(FaultyServices& owner) : s(owner) {}
    std::unique_ptr<platform::WindowTimer> Create(std::function<void()> onTick) override {
      auto timer = s.inner_.timers->Create(std::move(onTick));
      if (!timer) return nullptr;
      return std::make_unique<Timer>(s, std::move(timer));
    }
  };

  Hook hook_;
  platform::ServiceSet inner_;
  Clock clock_{*this};
  Registry registry_{*this};
  Files files_{*this};
  Boxes boxes_{*this};
  Windows windows_{*this};
  Timers timers_{*this};
};

}  // namespace zandrel::testing_support
