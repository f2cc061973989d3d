// A private X server for tests and the reference host: a headless Xvfb on a
// display of its own, optionally with openbox as the window manager.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>

namespace hostkit {

struct XServerOptions {
  bool windowManager = true;            // also start openbox and wait until it manages the screen
  std::string screen = "1280x1024x24";  // Xvfb's screen 0: width x height x depth
};

// Owns an Xvfb process (and an openbox process when asked for) on a display of its own.
//
// The children are started with a parent-death signal (SIGTERM), so a test process that crashes or
// is killed by a timeout does not leave servers behind. The signal is tied to the *thread* that
// called Start(): call Start() from a thread that outlives the server (normally the main thread).
class PrivateXServer {
 public:
  // Starts `Xvfb -displayfd FD -screen 0 SCREEN -nolisten tcp -noreset`; the server picks a
  // free display and reports it through the pipe once it accepts connections. Then, if asked,
  // starts `openbox --sm-disable` on it and waits until the root window carries
  // _NET_SUPPORTING_WM_CHECK. Returns nullptr and fills *error (when given) on failure; the message
  // includes the tail of the failing program's stderr.
  static std::unique_ptr<PrivateXServer> Start(const XServerOptions& options = {},
                                               std::string* error = nullptr);

  // Stops the window manager, then the server: SIGTERM, a short wait, then SIGKILL; both reaped.
  ~PrivateXServer();

  PrivateXServer(const PrivateXServer&) = delete;
  PrivateXServer& operator=(const PrivateXServer&) = delete;

  const std::string& display() const { return display_; }  // ":N"
  void ExportDisplay() const;                              // setenv("DISPLAY", display(), 1)
  pid_t serverPid() const { return serverPid_; }
  pid_t windowManagerPid() const { return windowManagerPid_; }  // 0 when started without one

 private:
  PrivateXServer() = default;

  std::string display_;
  pid_t serverPid_ = 0;
  pid_t windowManagerPid_ = 0;
};

}  // namespace hostkit
