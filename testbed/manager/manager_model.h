#pragma once
// The stand-in integration manager, portable: it keeps applications and
// documents in registration order and implements the members the add-in calls
// (the registration::Qms* interfaces), with inspection (Dump) and fault
// injection. One instance is shared by every IDE; the Windows stand-in
// (standin_im.exe) serves it to other processes through COM.

#include <cstdint>
#include <functional>
#include <memory>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "registration/integration_manager.h"

namespace zandrel::testbed {

class ManagerModel;

// The document-project object: five properties the add-in fills.
class DocProjectModel : public automation::RefCountedBase, public registration::QmcDocProject {
 public:
  automation::Status SetName(std::string& v) override { return Set("Name", name, v); }
  automation::Status SetFullName(std::string& v) override { return Set("FullName", fullName, v); }
  automation::Status SetComment(std::string& v) override { return Set("Comment", comment, v); }
  automation::Status SetTimeStamp(automation::Variant& v) override { return Set("TimeStamp", timeStamp, v); }
  automation::Status SetContainer(automation::Ref<automation::Object>& v) override {
    return Set("Container", container, v);
  }

  std::string name, fullName, comment;
  automation::Variant timeStamp;
  automation::Ref<automation::Object> container;

  // Called with the property's name on entry to each setter: may fail it.
  static inline std::function<std::optional<automation::Error>(const char* property)> onCall;

 private:
  template <class T>
  static automation::Status Set(const char* property, T& field, const T& value) {
    if (onCall) {
      if (auto failure = onCall(property)) return *failure;
    }
    field = value;
    return automation::Status::Ok();
  }
};

class ManagerModel {
 public:
  ManagerModel();
  ~ManagerModel();
  ManagerModel(const ManagerModel&) = delete;
  ManagerModel& operator=(const ManagerModel&) = delete;

  automation::Ref<registration::QmsIntegrationManager> Manager();

  struct App {
    std::int16_t kind;
    std::string processId;
    std::intptr_t appObject;  // the identity of the object handed to RegisterApp
  };
  struct Doc {
    std::string name;
    std::int16_t kind;
    std::size_t app;  // index into the applications ever registered
    std::string projectName, projectFullName, comment;
    automation::Variant timeStamp;
    bool container;
  };

  // Registered applications and documents, in registration order.
  std::vector<const App*> Applications() const;
  std::vector<Doc> Documents() const;
  std::string Dump() const;

  // Sets one of the faults below by its name (docs/testbed.md):
  // null:RegistrationManager, null:RegisterApp, null:Item (VALUE 0 or 1),
  // fail:MEMBER (VALUE an HRESULT, TEXT its description), RegisterDoc.failOnCall
  // (the VALUE-th RegisterDoc from now), replace-on-unregister. False for a
  // name it does not know.
  bool SetFault(const std::string& name, std::int32_t value, const std::string& text);

  // The object that the registered application with this process id handed to
  // RegisterApp (its IDE's add-in), or null.
  automation::Ref<automation::Object> AppObjectFor(const std::string& processId) const;

  // Drops the add-in objects the application objects hold, as a manager that
  // goes away does; a test calls it to end the add-in's reference cycle with
  // its application object when the add-in was never disconnected.
  void ReleaseApplicationObjects();

  // Faults, for tests and scenarios.
  struct Faults {
    bool nullRegistrationManager = false;
    bool nullRegisterApp = false;
    // The documents' Item answers Nothing, as for a document gone between
    // the caller's Count and its Item.
    bool nullItem = false;
    std::map<std::string, automation::Error> failMember;  // member name -> error
    std::int32_t failRegisterDocOnCall = 0;                // 1-based; 0: never
    automation::Error registerDocError{-2147467259, "Unspecified error"};
    // UnRegisterApp gives the caller nothing back in place of its reference.
    bool replaceOnUnregister = false;
  } faults;
  std::int32_t registerDocCalls = 0;
  // Every UnRegisterDoc, with the arguments beside the document as given:
  // "document NAME, app N|nothing, name \"TEXT\"".
  std::vector<std::string> withdrawals;
  // Called inside RegisterDoc, for a test that lets events arrive meanwhile.
  std::function<void()> whileRegisterDoc;
  // Called on entry to every member of the manager's objects, with the
  // member's name: a test sees each call the add-in makes into the manager,
  // may make it fail by returning an error, or may do anything meanwhile (as a
  // nested message loop would). The objects hold no references to each other
  // beyond what the manager must keep (its applications and documents), so
  // the add-in's reference is the only one to the registration manager and
  // the collections it is handed.
  std::function<std::optional<automation::Error>(const char* member)> onCall;

  // Hooks of the model's objects (public for them).
  struct State;
  State& state() { return *state_; }

 private:
  std::unique_ptr<State> state_;
};

}  // namespace zandrel::testbed
