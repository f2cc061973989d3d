// One loaded add-in session, as the platform holds one: the library loaded
// with dlopen, one component made by it, the host's connection and memory
// manager lent to that component, and the driver methods called by the
// numbers FindMethodIndex gives for their names. Every host here (the tests,
// the benchmarks, the wedgesim command) is one of these.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "abi/host_abi.h"
#include "host/kit/host_connection.h"
#include "host/kit/library.h"
#include "host/kit/memory.h"

namespace hostkit {

struct SessionOptions {
  // Initialize and AttachMemoryManager at once, as the platform does. Off for
  // a host that makes (or withholds) those calls itself.
  bool initialize = true;
  // The connection and memory manager lent to the component; nullptr lends
  // the session's own.
  IAddInDefBase* connection = nullptr;
  HostMemoryManager* memory = nullptr;
  // At teardown, close the device this session opened and left open. Off for
  // a host that destroys its component with the device still open on purpose:
  // the library must cope with that too.
  bool closeOnTeardown = true;
};

// Where a session stopped, when it did.
enum class SessionFailure { kNone, kLoad, kNoComponent, kRefused };

class AddInSession {
 public:
  // Loads `libraryPath` and makes the component; check ok(). The display the
  // library uses is whatever DISPLAY names at this moment (it reads it at load).
  explicit AddInSession(const std::string& libraryPath, const SessionOptions& options = {});
  // Closes the device if this session left it open (and closeOnTeardown), then
  // destroys the component while the library is still loaded, then unloads it.
  ~AddInSession();
  AddInSession(const AddInSession&) = delete;
  AddInSession& operator=(const AddInSession&) = delete;

  bool ok() const { return failure_ == SessionFailure::kNone; }
  SessionFailure failure() const { return failure_; }
  // What went wrong, for people: dlerror's text for a library that would not load.
  const std::string& error() const { return error_; }

  // Declared first so they outlive the component, which holds pointers to both.
  HostConnection connection;
  HostMemory memory;
  // Public so a host can do what a careless platform does: unload the library
  // early (reset), or drop the component without destroying it (release).
  std::unique_ptr<LoadedLibrary> library;
  std::unique_ptr<Component> component;

  // The driver methods, each found by its English name first.
  // The method's number; -1 when the component has none of that name (or none at all).
  long MethodNumber(const char* method);
  // CallFunction of the named method; *result starts empty.
  bool CallFunction(const char* method, HostVariant* result, std::vector<HostVariant>& parameters);
  // SetParameter with a text or a flag; true when the add-in took it.
  bool SetText(const std::string& name, const std::string& value);
  bool SetFlag(const std::string& name, bool value);
  // Open and Close; Open gives the device name through `device` when asked.
  bool OpenDevice(std::string* device = nullptr);
  bool CloseDevice();
  // GenerateExternalEvent, or GenerateExternalEventActivateWindow with `activate`.
  bool Generate(const std::string& text, bool base64, bool activate = false);

 private:
  bool Usable() const { return component != nullptr && component->ok(); }
  bool SetParameter(const std::string& name, const HostVariant& value);

  SessionFailure failure_ = SessionFailure::kNone;
  std::string error_;
  bool closeOnTeardown_;
  // Set by OpenDevice, which a host may call from the add-in's listener
  // thread (from inside its event handler).
  std::atomic<bool> opened_{false};
};

// A driver function's outcome: the call succeeded and returned the boolean true.
bool Succeeded(bool called, const HostVariant& result);

}  // namespace hostkit
