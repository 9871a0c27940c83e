// Child processes on Windows: CreateProcessA, and a wait that keeps the
// launcher's message queue serviced.
#include <windows.h>

#include <memory>
#include <vector>

#include "platform/platform.h"
#include "platform/shared/windows_rules.h"

namespace platform {

const char* const kJavaConsoleExe = "java.exe";
const char* const kJavaWindowedExe = "javaw.exe";
const char* const kProgramSuffix = ".exe";

void ChildProcess::Close() {
  if (handle_) CloseHandle(reinterpret_cast<HANDLE>(handle_));
  handle_ = 0;
  started_ = false;
}

namespace {

// Every queued message is dispatched; a WM_QUIT ends the draining without
// ending the wait, so the launcher never leaves before its child.
void DrainMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) return;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

ConsoleEvent EventOf(DWORD type) {
  switch (type) {
    case CTRL_C_EVENT:
      return ConsoleEvent::Interrupt;
    case CTRL_BREAK_EVENT:
      return ConsoleEvent::Break;
    case CTRL_LOGOFF_EVENT:
      return ConsoleEvent::Logoff;
    case CTRL_SHUTDOWN_EVENT:
      return ConsoleEvent::Shutdown;
    default:
      return ConsoleEvent::Close;
  }
}

// Runs on a thread the system starts for the event. Holding it keeps the
// process alive (until the system's grace period ends) while the launcher's
// own thread, which waits for the installer, removes the scratch directory
// and exits with the installer's status: nothing is cleaned up from here, so
// nothing races that thread.
BOOL WINAPI OnConsoleEvent(DWORD type) {
  if (ActOnConsoleEvent(EventOf(type)) == ConsoleEventAction::HoldUntilTheRunEnds) {
    for (;;) Sleep(INFINITE);
  }
  return TRUE;
}

// From the start of the installer the launcher waits for until its end;
// not when it could not be started (Ctrl-C may then end the key wait).
void RideOutConsoleEvents(bool on) { SetConsoleCtrlHandler(OnConsoleEvent, on ? TRUE : FALSE); }

// The standard handles, the only ones a child inherits; every other handle
// the launcher holds (a log, the scratch directory) stays with it.
class InheritedHandles {
 public:
  InheritedHandles() {
    std::vector<StdHandleFacts> standard;
    for (DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
      HANDLE h = GetStdHandle(which);
      DWORD flags = 0;
      const bool known = h != nullptr && h != INVALID_HANDLE_VALUE && GetHandleInformation(h, &flags);
      standard.push_back({reinterpret_cast<uintptr_t>(h), known && (flags & HANDLE_FLAG_INHERIT) != 0});
    }
    for (uintptr_t value : HandlesToInherit(standard)) handles_.push_back(reinterpret_cast<HANDLE>(value));
    if (handles_.empty()) return;
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    storage_.reset(new char[size]);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.get());
    if (!InitializeProcThreadAttributeList(list, 1, 0, &size)) {
      storage_.reset();
      return;
    }
    list_ = list;
    if (!UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles_.data(),
                                   handles_.size() * sizeof(HANDLE), nullptr, nullptr)) {
      DeleteProcThreadAttributeList(list_);
      list_ = nullptr;
    }
  }
  ~InheritedHandles() {
    if (list_) DeleteProcThreadAttributeList(list_);
  }
  InheritedHandles(const InheritedHandles&) = delete;
  InheritedHandles& operator=(const InheritedHandles&) = delete;

  // Nothing to inherit: inheritance off.
  bool None() const { return handles_.empty(); }
  // The list for STARTUPINFOEX; null when the system would not build it.
  LPPROC_THREAD_ATTRIBUTE_LIST List() const { return list_; }

 private:
  std::vector<HANDLE> handles_;
  std::unique_ptr<char[]> storage_;
  LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

}  // namespace

int StartChild(const std::string& commandLine, const ChildOptions& options, ChildProcess& child) {
  if (int error = 0; BeginChildStart(commandLine, options, child, error)) return error;

  // Before the start, so that no Ctrl-C falls between the two.
  if (options.ignoreInterrupts) RideOutConsoleEvents(true);
  STARTUPINFOEXA startup = {};
  startup.StartupInfo.cb = sizeof startup.StartupInfo;
  startup.StartupInfo.dwFlags = STARTF_USESHOWWINDOW;
  startup.StartupInfo.wShowWindow = options.hiddenWindow ? SW_HIDE : SW_SHOWNORMAL;
  PROCESS_INFORMATION info = {};
  // CreateProcessA may write into the command line.
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  const char* application = options.program.empty() ? nullptr : options.program.c_str();
  const InheritedHandles inherited;
  DWORD flags = CREATE_NEW_PROCESS_GROUP;
  if (inherited.List()) {
    startup.StartupInfo.cb = sizeof startup;
    startup.lpAttributeList = inherited.List();
    flags |= EXTENDED_STARTUPINFO_PRESENT;
  }
  BOOL made = CreateProcessA(application, line.data(), nullptr, nullptr, inherited.None() ? FALSE : TRUE,
                             flags, nullptr, nullptr, &startup.StartupInfo, &info);
  // A system that refuses the list (or could not build it) starts the child
  // as before, inheriting what is inheritable: a child that cannot start at
  // all would be worse.
  if (!made && inherited.List() && GetLastError() == ERROR_INVALID_PARAMETER) {
    startup.StartupInfo.cb = sizeof startup.StartupInfo;
    made = CreateProcessA(application, line.data(), nullptr, nullptr, TRUE, CREATE_NEW_PROCESS_GROUP, nullptr,
                          nullptr, &startup.StartupInfo, &info);
  }
  if (!made) {
    const int error = static_cast<int>(GetLastError());
    if (options.ignoreInterrupts) RideOutConsoleEvents(false);
    return error;
  }
  CloseHandle(info.hThread);
  child.handle_ = reinterpret_cast<uintptr_t>(info.hProcess);
  child.started_ = true;
  return 0;
}

void WaitForChild(ChildProcess& child) {
  if (!child.started_ || child.ended_ || !child.handle_) return;
  HANDLE process = reinterpret_cast<HANDLE>(child.handle_);
  for (;;) {
    DWORD woken = MsgWaitForMultipleObjects(1, &process, FALSE, INFINITE, QS_SENDMESSAGE);
    if (woken == WAIT_OBJECT_0) return;
    if (woken == WAIT_OBJECT_0 + 1) {
      DrainMessages();
    } else if (woken == WAIT_FAILED) {
      // Retrying a wait that fails outright would spin for ever; a plain
      // wait still keeps the launcher until its child has ended.
      WaitForSingleObject(process, INFINITE);
      return;
    }
  }
}

bool ChildExitCode(ChildProcess& child, int& exitCode, int& error) {
  if (!child.started_) {
    error = ERROR_INVALID_HANDLE;
    return false;
  }
  if (child.ended_) {
    exitCode = child.exitCode_;
    return true;
  }
  DWORD code = 0;
  if (!GetExitCodeProcess(reinterpret_cast<HANDLE>(child.handle_), &code)) {
    error = static_cast<int>(GetLastError());
    return false;
  }
  exitCode = static_cast<int>(code);
  return true;
}

}  // namespace platform
