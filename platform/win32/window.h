// Windows and their messages, as far as the program needs them: windows that
// belong to the thread that made them, a message queue per thread and its
// pump, keyboard focus and the foreground window, input attachment between
// threads, and the platform identifier.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/base/types.h"
#include "platform/win32/toolkit.h"

namespace quillmer {

constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_USER = 0x0400;

struct MSG {
  HWND hwnd = 0;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};

using WindowProc = std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)>;

// A window of the calling thread that hands its messages to proc.
HWND CreateMessageWindow(WindowProc proc, HWND parent = nullptr);
// Also drops the window's waiting messages, its focus and foreground.
bool DestroyWindow(HWND window);
bool IsWindow(HWND window);
HWND GetParent(HWND window);

// Queues the message for the window's thread; false when there is no such
// window.
bool PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Calls the window's procedure at once, on the calling thread. 0 when there
// is no such window.
LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// The calling thread's next message; false when none is waiting.
bool PeekMessage(MSG* msg, bool remove);
LRESULT DispatchMessage(const MSG& msg);
// Dispatches every message waiting in the calling thread's queue, those
// posted meanwhile included; returns how many.
int ProcessMessages();

DWORD GetCurrentThreadId();
// The thread that made the window; 0 when there is none.
DWORD GetWindowThreadProcessId(HWND window, DWORD* processId);

// Focus is kept per thread input state; threads whose input is attached
// share one.
HWND SetFocus(HWND window);
HWND GetFocus();
HWND GetForegroundWindow();
bool SetForegroundWindow(HWND window);
// Joins (or parts) the input state of thread from with that of thread to.
// Fails for a thread attached to itself, for a thread that has made no
// window, and when a test says so.
bool AttachThreadInput(DWORD from, DWORD to, bool attach);
void SetAttachThreadInputFails(bool fails);

// The window that has the keyboard focus in the foreground window's thread,
// found by attaching to that thread's input; null when there is no foreground
// window or attaching fails.
HWND FocusedWindow();

// The platform identifier of the system's version information.
constexpr DWORD VER_PLATFORM_WIN32_WINDOWS = 1;
constexpr DWORD VER_PLATFORM_WIN32_NT = 2;
DWORD PlatformId();
// Test seam: 0 restores the real answer (VER_PLATFORM_WIN32_NT).
void SetPlatformId(DWORD id);

// Real windows. The toolkit is loaded by the first call that needs it, from
// QUILLMER_TOOLKIT when set, else beside the program or module that asks
// (or in its lib/quillmer folder); null when it cannot be loaded or no
// display opened, with the reason in *why.
Toolkit* LoadToolkit(std::string* why = nullptr);
// The file the toolkit was loaded from; empty while none is loaded.
std::string LoadedToolkitPath();
// The toolkit when one is loaded; never loads it.
Toolkit* CurrentToolkit();
// Tests: a toolkit of their own (null: none until the next window loads one).
void SetToolkit(Toolkit* toolkit);

// A window or control of the toolkit under parent, whose messages (the
// toolkit's notifications among them) go to proc on this thread. Throws
// when no toolkit can be loaded. Handles of the toolkit are known to
// IsWindow, GetParent, SendMessage, PostMessage and DestroyWindow of every
// copy of this layer in the process.
HWND CreateControl(ControlKind kind, HWND parent, const std::string& name, WindowProc proc);

// Timers: WM_TIMER with the id to the window, every interval, from
// ProcessMessages and WaitMessage. SetTimer again restarts it.
bool SetTimer(HWND window, UINT_PTR id, UINT intervalMs);
bool KillTimer(HWND window, UINT_PTR id);
// Blocks until a message, an input event or a timer is due, at most
// timeoutMs; then ProcessMessages. Returns what ProcessMessages returned.
int WaitMessage(int timeoutMs);

// Destroys every window and empties every queue (tests).
void ResetWindows();

}  // namespace quillmer
