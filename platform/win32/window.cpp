#include "platform/win32/window.h"

#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/base/error.h"

namespace quillmer {
namespace {

using Clock = std::chrono::steady_clock;

struct Window {
  WindowProc proc;
  HWND parent = nullptr;
  DWORD thread = 0;
  bool real = false;  // made by the toolkit
};

struct Timer {
  UINT interval = 0;
  Clock::time_point due;
  DWORD thread = 0;
};

struct State {
  std::mutex mutex;
  std::uintptr_t next = 1;
  std::map<HWND, Window> windows;
  std::map<DWORD, std::deque<MSG>> queues;
  std::map<DWORD, HWND> focus;        // by input state (its owning thread)
  std::map<DWORD, DWORD> attachedTo;  // thread -> the thread whose input it shares
  std::map<std::pair<HWND, UINT_PTR>, Timer> timers;
  HWND foreground = nullptr;
  bool attachFails = false;
  DWORD platformId = 0;
};

struct ToolkitState {
  std::mutex mutex;
  bool tried = false;
  Toolkit* toolkit = nullptr;
  std::string why;
  std::string path;
};

State& S() {
  static State s;
  return s;
}

ToolkitState& T() {
  static ToolkitState t;
  return t;
}

WindowProc ProcOf(HWND window) {
  State& s = S();
  std::lock_guard lock(s.mutex);
  auto it = s.windows.find(window);
  return it == s.windows.end() ? WindowProc() : it->second.proc;
}

// The toolkit's messages for the handles this copy made.
struct LocalSink final : WindowSink {
  LRESULT Deliver(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override {
    WindowProc proc = ProcOf(window);
    LRESULT result = proc ? proc(window, message, wParam, lParam) : 0;
    if (message == WM_DESTROY) {
      State& s = S();
      std::lock_guard lock(s.mutex);
      s.windows.erase(window);
      std::erase_if(s.timers, [&](const auto& t) { return t.first.first == window; });
    }
    return result;
  }
};

LocalSink& Sink() {
  static LocalSink sink;
  return sink;
}

// Where the toolkit's library is: QUILLMER_TOOLKIT, else beside this copy
// (the program or the module), else in the lib/quillmer folder beside it.
std::vector<std::string> ToolkitCandidates() {
  if (const char* path = std::getenv("QUILLMER_TOOLKIT"); path && *path) return {path};
  Dl_info info{};
  std::vector<std::string> out;
  if (dladdr(reinterpret_cast<void*>(&ToolkitCandidates), &info) && info.dli_fname) {
    std::error_code ec;
    auto self = std::filesystem::canonical(info.dli_fname, ec);
    if (!ec) {
      out.push_back((self.parent_path() / kToolkitLibrary).string());
      out.push_back(
          (self.parent_path().parent_path() / "lib" / "quillmer" / kToolkitLibrary).string());
    }
  }
  return out;
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
  Toolkit* toolkit = CurrentToolkit();
  if (toolkit && toolkit->Exists(window)) {
    toolkit->Destroy(window);  // WM_DESTROY to the sinks forgets the windows
    return true;
  }
  State& s = S();
  std::lock_guard lock(s.mutex);
  auto it = s.windows.find(window);
  if (it == s.windows.end()) return false;
  std::erase_if(s.timers, [&](const auto& t) { return t.first.first == window; });
  auto& queue = s.queues[it->second.thread];
  std::erase_if(queue, [&](const MSG& m) { return m.hwnd == window; });
  for (auto& [thread, focused] : s.focus)
    if (focused == window) focused = nullptr;
  if (s.foreground == window) s.foreground = nullptr;
  s.windows.erase(it);
  return true;
}

bool IsWindow(HWND window) {
  {
    State& s = S();
    std::lock_guard lock(s.mutex);
    if (s.windows.count(window)) return true;
  }
  Toolkit* toolkit = CurrentToolkit();
  return toolkit && window && toolkit->Exists(window);
}

HWND GetParent(HWND window) {
  {
    State& s = S();
    std::lock_guard lock(s.mutex);
    auto it = s.windows.find(window);
    if (it != s.windows.end() && !it->second.real) return it->second.parent;
  }
  Toolkit* toolkit = CurrentToolkit();
  return toolkit && window ? toolkit->Parent(window) : nullptr;
}

bool PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  {
    State& s = S();
    std::lock_guard lock(s.mutex);
    auto it = s.windows.find(window);
    if (it != s.windows.end()) {
      s.queues[it->second.thread].push_back(MSG{window, message, wParam, lParam});
      return true;
    }
  }
  // Another copy's window: the toolkit posts it to that copy's sink.
  Toolkit* toolkit = CurrentToolkit();
  return toolkit && window && toolkit->Post(window, message, wParam, lParam);
}

LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  bool known = false;
  WindowProc proc;
  {
    State& s = S();
    std::lock_guard lock(s.mutex);
    auto it = s.windows.find(window);
    if (it != s.windows.end()) {
      known = true;
      proc = it->second.proc;
    }
  }
  if (known) return proc ? proc(window, message, wParam, lParam) : 0;
  Toolkit* toolkit = CurrentToolkit();
  return toolkit && window ? toolkit->Send(window, message, wParam, lParam) : 0;
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

namespace {

// Sends WM_TIMER for every timer of this thread that is due; returns how many.
int RunDueTimers() {
  const DWORD self = GetCurrentThreadId();
  std::vector<std::pair<HWND, UINT_PTR>> due;
  {
    State& s = S();
    std::lock_guard lock(s.mutex);
    const auto now = Clock::now();
    for (auto& [key, timer] : s.timers) {
      if (timer.thread != self || timer.due > now) continue;
      due.push_back(key);
      timer.due = now + std::chrono::milliseconds(timer.interval);
    }
  }
  for (const auto& [window, id] : due) SendMessage(window, WM_TIMER, id, 0);
  return static_cast<int>(due.size());
}

// How long until this thread's next timer is due (capped at limit).
int MsUntilNextTimer(int limit) {
  const DWORD self = GetCurrentThreadId();
  State& s = S();
  std::lock_guard lock(s.mutex);
  const auto now = Clock::now();
  auto wait = std::chrono::milliseconds(limit);
  for (const auto& [key, timer] : s.timers) {
    if (timer.thread != self) continue;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(timer.due - now);
    if (left < wait) wait = left;
  }
  return wait.count() < 0 ? 0 : static_cast<int>(wait.count());
}

}  // namespace

namespace {

// This copy's posted messages and timers, run from the toolkit's loop too.
int RunLocal() {
  int ran = 0;
  MSG msg;
  while (PeekMessage(&msg, true)) {
    DispatchMessage(msg);
    ++ran;
  }
  return ran + RunDueTimers();
}

struct LocalPump final : MessagePump {
  int RunPending() override { return RunLocal(); }
  int MsUntilDue(int limit) override {
    return PeekMessage(nullptr, false) ? 0 : MsUntilNextTimer(limit);
  }
  ~LocalPump() {
    // A module unloaded leaves the loop with its copy of this layer.
    if (Toolkit* toolkit = CurrentToolkit()) toolkit->RemovePump(this);
  }
};

LocalPump& Pump() {
  static LocalPump pump;
  return pump;
}

}  // namespace

int ProcessMessages() {
  int n = 0;
  Toolkit* toolkit = CurrentToolkit();
  // What is pending now, and what that work posts meanwhile; a toolkit that
  // keeps finding work (animations) is not waited for beyond a few rounds.
  for (int round = 0; round < 64; ++round) {
    int ran = RunLocal();
    if (toolkit) ran += toolkit->Pump(0);
    n += ran;
    if (!ran) break;
  }
  return n;
}

int WaitMessage(int timeoutMs) {
  const int limit = timeoutMs < 0 ? 0 : timeoutMs;
  if (Toolkit* toolkit = CurrentToolkit())
    toolkit->Pump(Pump().MsUntilDue(limit));  // shortened further by the other copies
  else if (const int wait = Pump().MsUntilDue(limit); wait > 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(wait));
  return ProcessMessages();
}

bool SetTimer(HWND window, UINT_PTR id, UINT intervalMs) {
  if (!IsWindow(window)) return false;
  State& s = S();
  std::lock_guard lock(s.mutex);
  s.timers[{window, id}] =
      Timer{intervalMs, Clock::now() + std::chrono::milliseconds(intervalMs), GetCurrentThreadId()};
  return true;
}

bool KillTimer(HWND window, UINT_PTR id) {
  State& s = S();
  std::lock_guard lock(s.mutex);
  return s.timers.erase({window, id}) != 0;
}

Toolkit* LoadToolkit(std::string* why) {
  ToolkitState& t = T();
  std::lock_guard lock(t.mutex);
  if (!t.tried) {
    t.tried = true;
    std::string reasons;
    for (const auto& path : ToolkitCandidates()) {
      // Never unloaded: handles and sinks of the whole process live in it.
      void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
      if (!lib) {
        const char* e = dlerror();
        reasons += std::string(reasons.empty() ? "" : "; ") + (e ? e : path);
        continue;
      }
      auto entry = reinterpret_cast<ToolkitEntry>(dlsym(lib, kToolkitEntry));
      Toolkit* toolkit = entry ? entry() : nullptr;
      if (!toolkit || toolkit->Version() != kToolkitVersion) {
        reasons = path + " is not a window toolkit of this version";
        break;
      }
      if (!toolkit->Open()) {
        reasons = toolkit->Error();
        break;
      }
      t.toolkit = toolkit;
      t.path = path;
      toolkit->AddPump(&Pump());
      reasons.clear();
      break;
    }
    t.why = t.toolkit ? "" : (reasons.empty() ? "no window toolkit was found" : reasons);
  }
  if (why) *why = t.why;
  return t.toolkit;
}

std::string LoadedToolkitPath() {
  ToolkitState& t = T();
  std::lock_guard lock(t.mutex);
  return t.toolkit ? t.path : std::string();
}

Toolkit* CurrentToolkit() {
  ToolkitState& t = T();
  std::lock_guard lock(t.mutex);
  return t.toolkit;
}

void SetToolkit(Toolkit* toolkit) {
  if (Toolkit* old = CurrentToolkit(); old && old != toolkit) old->RemovePump(&Pump());
  if (toolkit) toolkit->AddPump(&Pump());
  ToolkitState& t = T();
  std::lock_guard lock(t.mutex);
  t.tried = toolkit != nullptr;  // none: the next window loads the library
  t.toolkit = toolkit;
  t.why.clear();
}

HWND CreateControl(ControlKind kind, HWND parent, const std::string& name, WindowProc proc) {
  std::string why;
  Toolkit* toolkit = LoadToolkit(&why);
  if (!toolkit) throw Error("cannot open a window: " + why);
  HWND h = toolkit->Create(kind, parent, name.c_str(), &Sink());
  if (!h) throw Error("cannot make the control \"" + name + "\"");
  State& s = S();
  std::lock_guard lock(s.mutex);
  s.windows[h] = Window{std::move(proc), parent, GetCurrentThreadId(), true};
  return h;
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
  s.timers.clear();
  s.focus.clear();
  s.attachedTo.clear();
  s.foreground = nullptr;
  s.attachFails = false;
  s.platformId = 0;
}

}  // namespace quillmer
