#pragma once
// The integration manager as the add-in uses it: the members it calls on the
// manager, its registration manager, the application object, the document
// collection and the document. They are an outside component's interfaces;
// the Windows layer implements these classes by calling the real ones through
// their vtables, and the testbed's in-process stand-ins implement them
// directly. Every argument the real members take by reference is a reference
// parameter here too.

#include <cstdint>
#include <string>

#include "automation/object.h"

namespace zandrel::registration {

using automation::Ref;
using automation::Result;
using automation::Status;

class QmsApplication;
class QmcDocProject;
class QmsDocument;
class QmsDocuments;
class QmsRegistrationManager;

// The application kind under which the add-in registers (im_AppObject_MSVC).
inline constexpr std::int16_t im_AppObject_MSVC = 3;

class QmsIntegrationManager : public virtual automation::RefCounted {
 public:
  virtual Result<Ref<QmsDocuments>> FindDocuments(std::int16_t& kind, std::string& name) = 0;
  virtual Result<Ref<QmsRegistrationManager>> RegistrationManager() = 0;
};

class QmsRegistrationManager : public virtual automation::RefCounted {
 public:
  virtual Result<Ref<QmsApplication>> RegisterApp(std::int16_t& kind, Ref<automation::Object>& application) = 0;
  // May replace `app`.
  virtual Status UnRegisterApp(Ref<QmsApplication>& app, std::int16_t& kind) = 0;
  virtual Result<Ref<QmsDocument>> RegisterDoc(Ref<QmsApplication>& app, std::string& name,
                                            Ref<QmcDocProject>& docProject) = 0;
  virtual Status UnRegisterDoc(Ref<QmsDocument>& document, Ref<QmsApplication>& app, std::string& name) = 0;
};

class QmsApplication : public virtual automation::RefCounted {
 public:
  virtual Status SetProcessId(std::string& processId) = 0;
  virtual Result<Ref<automation::Object>> AppObject() = 0;
};

class QmsDocuments : public virtual automation::RefCounted {
 public:
  virtual Result<Ref<QmsDocument>> Item(automation::Variant& index) = 0;
  virtual Result<std::int32_t> Count() = 0;
};

class QmsDocument : public virtual automation::RefCounted {
 public:
  virtual Result<std::string> DocName() = 0;
  virtual Result<Ref<QmsApplication>> App() = 0;
};

// The document-project object (qmcDocProject) that describes a project to the
// manager: the add-in fills five of its properties and hands it to RegisterDoc.
class QmcDocProject : public virtual automation::RefCounted {
 public:
  virtual Status SetName(std::string& name) = 0;
  virtual Status SetFullName(std::string& fullName) = 0;
  virtual Status SetComment(std::string& comment) = 0;
  virtual Status SetTimeStamp(automation::Variant& timeStamp) = 0;
  virtual Status SetContainer(Ref<automation::Object>& container) = 0;  // put by reference
};

}  // namespace zandrel::registration
