#include "platform/win32/window.h"

#include <unistd.h>

#include <atomic>
#include <deque>
#include <map>
#include <mutex>

namespace quillmer {
namespace {

struct Window {
  WindowProc proc;
  HWND parent = nullptr;
  DWORD thread = 0;
};

struct State {
  std::mutex mutex;
  std::uintptr_t next = 1;
  std::map<HWND, Window> windows;
  std::map<DWORD, std::deque<MSG>> queues;
  std::map<DWORD, HWND> focus;        // by input state (its owning thread)
  std::map<DWORD, DWORD> attachedTo;  // thread -> the thread whose input it shares
  HWND foreground = nullptr;
  bool attachFails = false;
  DWORD platformId = 0;
};

State& S() {
  static State s;
  return s;
}

DWORD InputOf(State& s, DWORD thread) {
  auto it = s.attachedTo.find(thread);
  return it == s.attachedTo.end() ? thread : it->second;
}

std::atomic<DWORD> g_nextThread{1};
thread_local DWORD t_threadId = 0;

}  // namespace

DWORD GetCurrentThreadId() {
  if (!t_threadId) t_threadId = g_nextThread++;
  return t_threadId;
}

HWND CreateMessageWindow(WindowProc proc, HWND parent) {
  State& s = S();
  std::lock_guard lock(s.mutex);
  HWND h = reinterpret_cast<HWND>(s.next++);
  s.windows[h] = Window{std::move(proc), parent, GetCurrentThreadId()};
  return h;
}

bool DestroyWindow(HWND window) {
  State& s = S();
  std::lock_guard lock(s.mutex);
  auto it = s.windows.find(window);
  if (it == s.windows.end()) return false;
  auto& queue = s.queues[it->second.thread];
  std::erase_if(queue, [&](const MSG& m) { return m.hwnd == window; });
  for (auto& [thread, focused] : s.focus)
    if (focused == window) focused = nullptr;
  if (s.foreground == window) s.foreground = nullptr;
  s.windows.erase(it);
  return true;
}

bool IsWindow(HWND window) {
  State& s = S();
  std::lock_guard lock(s.mutex);
  return s.windows.count(window) != 0;
}

HWND GetParent(HWND window) {
  State& s = S();
  std::lock_guard lock(s.mutex);
  auto it = s.windows.find(window);
  return it == s.windows.end() ? nullptr : it->second.parent;
}

bool PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  State& s = S();
  std::lock_guard lock(s.mutex);
  auto it = s.windows.find(window);
  if (it == s.windows.end()) return false;
  s.queues[it->second.thread].push_back(MSG{window, message, wParam, lParam});
  return true;
}

LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  WindowProc proc;
  {
    State& s = S();
    std::lock_guard lock(s.mutex);
    auto it = s.windows.find(window);
    if (it == s.windows.end()) return 0;
    proc = it->second.proc;
  }
  return proc ? proc(window, message, wParam, lParam) : 0;
}

bool PeekMessage(MSG* msg, bool remove) {
  State& s = S();
  std::lock_guard lock(s.mutex);
  auto& queue = s.queues[GetCurrentThreadId()];
  if (queue.empty()) return false;
  if (msg) *msg = queue.front();
  if (remove) queue.pop_front();
  return true;
}

LRESULT DispatchMessage(const MSG& msg) {
  return SendMessage(msg.hwnd, msg.message, msg.wParam, msg.lParam);
}

int ProcessMessages() {
  int n = 0;
  MSG msg;
  while (PeekMessage(&msg, true)) {
    DispatchMessage(msg);
    ++n;
  }
  return n;
}

DWORD GetWindowThreadProcessId(HWND window, DWORD* processId) {
  State& s = S();
  std::lock_guard lock(s.mutex);
  auto it = s.windows.find(window);
  if (it == s.windows.end()) return 0;
  if (processId) *processId = static_cast<DWORD>(::getpid());
  return it->second.thread;
}

HWND SetFocus(HWND window) {
  State& s = S();
  std::lock_guard lock(s.mutex);
  auto it = s.windows.find(window);
  DWORD input = InputOf(s, it == s.windows.end() ? GetCurrentThreadId() : it->second.thread);
  HWND previous = s.focus[input];
  s.focus[input] = it == s.windows.end() ? nullptr : window;
  return previous;
}

HWND GetFocus() {
  State& s = S();
  std::lock_guard lock(s.mutex);
  auto it = s.focus.find(InputOf(s, GetCurrentThreadId()));
  return it == s.focus.end() ? nullptr : it->second;
}

HWND GetForegroundWindow() {
  State& s = S();
  std::lock_guard lock(s.mutex);
  return s.foreground;
}

bool SetForegroundWindow(HWND window) {
  State& s = S();
  std::lock_guard lock(s.mutex);
  if (!s.windows.count(window)) return false;
  s.foreground = window;
  return true;
}

bool AttachThreadInput(DWORD from, DWORD to, bool attach) {
  State& s = S();
  std::lock_guard lock(s.mutex);
  if (s.attachFails || from == to || from == 0 || to == 0) return false;
  if (!attach) return s.attachedTo.erase(from) != 0;
  bool known = false;
  for (const auto& [h, w] : s.windows) known = known || w.thread == to;
  if (!known) return false;
  s.attachedTo[from] = InputOf(s, to);
  return true;
}

void SetAttachThreadInputFails(bool fails) {
  State& s = S();
  std::lock_guard lock(s.mutex);
  s.attachFails = fails;
}

HWND FocusedWindow() {
  HWND foreground = GetForegroundWindow();
  if (!foreground) return nullptr;
  const DWORD self = GetCurrentThreadId();
  const DWORD other = GetWindowThreadProcessId(foreground, nullptr);
  if (!AttachThreadInput(self, other, true)) return nullptr;
  HWND focused = GetFocus();
  AttachThreadInput(self, other, false);
  return focused;
}

DWORD PlatformId() {
  State& s = S();
  std::lock_guard lock(s.mutex);
  return s.platformId ? s.platformId : VER_PLATFORM_WIN32_NT;
}

void SetPlatformId(DWORD id) {
  State& s = S();
  std::lock_guard lock(s.mutex);
  s.platformId = id;
}

void ResetWindows() {
  State& s = S();
  std::lock_guard lock(s.mutex);
  s.windows.clear();
  s.queues.clear();
  s.focus.clear();
  s.attachedTo.clear();
  s.foreground = nullptr;
  s.attachFails = false;
  s.platformId = 0;
}

}  // namespace quillmer
