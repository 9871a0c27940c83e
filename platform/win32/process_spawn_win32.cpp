// Child processes on Windows: CreateProcessA, and a wait that keeps the
// launcher's message queue serviced.
#include <windows.h>

#include <vector>

#include "platform/platform.h"

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

}  // namespace

int StartChild(const std::string& commandLine, const ChildOptions& options, ChildProcess& child) {
  if (int error = 0; BeginChildStart(commandLine, options, child, error)) return error;

  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = options.hiddenWindow ? SW_HIDE : SW_SHOWNORMAL;
  PROCESS_INFORMATION info = {};
  // CreateProcessA may write into the command line.
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  const char* application = options.program.empty() ? nullptr : options.program.c_str();
  if (!CreateProcessA(application, line.data(), nullptr, nullptr, TRUE, CREATE_NEW_PROCESS_GROUP,
                      nullptr, nullptr, &startup, &info)) {
    return static_cast<int>(GetLastError());
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
