// The system clipboard: the X11 CLIPBOARD selection, through libX11.
//
// X11 keeps no clipboard of its own: the text lives in the client that owns
// the selection. So reading asks the owner (with a deadline, since a hung
// owner must not hang us), and what we put on the clipboard is served after
// CloseClipboard by a detached process that owns the selection until another
// client takes it, as X11 clipboard tools do.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "platform/win32/clipboard.h"
#include "platform/win32/codepage.h"
#include "platform/win32/dialogs.h"

namespace quillmer {
namespace {

using Clock = std::chrono::steady_clock;
// How long an owner may take to answer one request, or one chunk of a long
// answer, and how long the serving process may take to own the selection.
constexpr auto kAnswerTimeout = std::chrono::seconds(2);
constexpr auto kHandOverTimeout = std::chrono::seconds(5);
// A transfer in chunks that the requestor stops reading is dropped.
constexpr auto kTransferIdle = std::chrono::seconds(10);
constexpr std::size_t kMaxTextBytes = std::size_t{256} << 20;

// A request to a window that has gone away fails with an X error; that is no
// reason to end the program.
int IgnoreXError(Display*, XErrorEvent*) { return 0; }

// The serving process has nothing left to do once the display is gone.
int ExitQuietly(Display*) { _exit(0); }

struct Atoms {
  Atom clipboard, targets, timestamp, utf8, textPlainUtf8, text, incr, property;
  explicit Atoms(Display* d)
      : clipboard(XInternAtom(d, "CLIPBOARD", False)),
        targets(XInternAtom(d, "TARGETS", False)),
        timestamp(XInternAtom(d, "TIMESTAMP", False)),
        utf8(XInternAtom(d, "UTF8_STRING", False)),
        textPlainUtf8(XInternAtom(d, "text/plain;charset=utf-8", False)),
        text(XInternAtom(d, "TEXT", False)),
        incr(XInternAtom(d, "INCR", False)),
        property(XInternAtom(d, "QUILLMER_SELECTION", False)) {}
};

// Waits for an event that accept takes, dropping the others; false when the
// deadline passes first.
template <typename Accept>
bool WaitForEvent(Display* d, XEvent& ev, Clock::time_point deadline, Accept accept) {
  for (;;) {
    while (XPending(d) > 0) {
      XNextEvent(d, &ev);
      if (accept(ev)) return true;
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    pollfd p{ConnectionNumber(d), POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count()) + 1) < 0 && errno != EINTR) return false;
  }
}

std::u16string FromLatin1(std::string_view bytes) {
  std::u16string text;
  text.reserve(bytes.size());
  for (char c : bytes) text += static_cast<char16_t>(static_cast<unsigned char>(c));
  return text;
}

std::string ToLatin1(std::u16string_view text) {
  std::string bytes;
  bytes.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char16_t u = text[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF)
      ++i;
    bytes += u <= 0xFF ? static_cast<char>(u) : '?';
  }
  return bytes;
}

std::u16string UnitsUpToZero(std::string_view bytes) {
  std::u16string units;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    char16_t u = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                       static_cast<unsigned char>(bytes[i + 1]) << 8);
    if (u == 0) break;
    units += u;
  }
  return units;
}

std::string UnitBytes(std::u16string_view units) {
  std::string bytes;
  bytes.reserve(units.size() * 2 + 2);
  for (char16_t u : units) {
    bytes += static_cast<char>(u & 0xFF);
    bytes += static_cast<char>(u >> 8);
  }
  bytes.append(2, '\0');
  return bytes;
}

// Largest property one request may write.
std::size_t ChunkSize(Display* d) {
  long words = XExtendedMaxRequestSize(d);
  if (words == 0) words = XMaxRequestSize(d);
  return std::clamp<std::size_t>(static_cast<std::size_t>(words) * 4 - 1024, 4096, 1 << 18);
}

// ---- The serving process --------------------------------------------------

class SelectionServer {
 public:
  SelectionServer(Display* d, std::string utf8, std::string latin1)
      : d_(d), atoms_(d), utf8_(std::move(utf8)), latin1_(std::move(latin1)) {
    window_ = XCreateSimpleWindow(d_, DefaultRootWindow(d_), 0, 0, 1, 1, 0, 0, 0);
    XSelectInput(d_, window_, PropertyChangeMask);
    chunk_ = ChunkSize(d_);
  }

  // Takes the selection with a real timestamp, as the conventions ask.
  bool TakeSelection() {
    XChangeProperty(d_, window_, atoms_.property, XA_STRING, 8, PropModeAppend, nullptr, 0);
    XEvent ev;
    if (!WaitForEvent(d_, ev, Clock::now() + kHandOverTimeout, [&](const XEvent& e) {
          return e.type == PropertyNotify && e.xproperty.window == window_;
        }))
      return false;
    time_ = ev.xproperty.time;
    XSetSelectionOwner(d_, atoms_.clipboard, window_, time_);
    return XGetSelectionOwner(d_, atoms_.clipboard) == window_;
  }

  // Answers requests until another client owns the selection and every
  // transfer in chunks has ended.
  void Run() {
    while (owner_ || !transfers_.empty()) {
      XEvent ev;
      auto deadline = transfers_.empty() ? Clock::now() + std::chrono::hours(24)
                                         : Clock::now() + std::chrono::seconds(1);
      if (WaitForEvent(d_, ev, deadline, [](const XEvent&) { return true; })) Handle(ev);
      auto now = Clock::now();
      std::erase_if(transfers_, [&](const Transfer& t) {
        if (now - t.lastActivity < kTransferIdle) return false;
        XSelectInput(d_, t.requestor, NoEventMask);
        return true;
      });
    }
  }

 private:
  struct Transfer {
    Window requestor;
    Atom property, type;
    const std::string* data;
    std::size_t offset;
    Clock::time_point lastActivity;
  };

  void Handle(const XEvent& ev) {
    if (ev.type == SelectionClear && ev.xselectionclear.selection == atoms_.clipboard) {
      owner_ = false;
    } else if (ev.type == SelectionRequest) {
      Answer(ev.xselectionrequest);
    } else if (ev.type == PropertyNotify && ev.xproperty.state == PropertyDelete) {
      for (auto it = transfers_.begin(); it != transfers_.end(); ++it) {
        if (it->requestor != ev.xproperty.window || it->property != ev.xproperty.atom) continue;
        if (!SendChunk(*it)) {
          Window w = it->requestor;
          transfers_.erase(it);
          if (std::none_of(transfers_.begin(), transfers_.end(),
                           [&](const Transfer& t) { return t.requestor == w; }))
            XSelectInput(d_, w, NoEventMask);
        }
        break;
      }
    }
  }

  void Answer(const XSelectionRequestEvent& req) {
    XSelectionEvent reply{};
    reply.type = SelectionNotify;
    reply.display = d_;
    reply.requestor = req.requestor;
    reply.selection = req.selection;
    reply.target = req.target;
    reply.time = req.time;
    reply.property = None;
    // Clients from before the conventions name no property.
    Atom property = req.property != None ? req.property : req.target;
    if (owner_ && req.selection == atoms_.clipboard &&
        (req.time == CurrentTime || req.time >= time_)) {
      if (req.target == atoms_.targets) {
        Atom list[] = {atoms_.targets,       atoms_.timestamp, atoms_.utf8,
                       atoms_.textPlainUtf8, XA_STRING,        atoms_.text};
        XChangeProperty(d_, req.requestor, property, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(list), std::size(list));
        reply.property = property;
      } else if (req.target == atoms_.timestamp) {
        long t = static_cast<long>(time_);
        XChangeProperty(d_, req.requestor, property, XA_INTEGER, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(&t), 1);
        reply.property = property;
      } else if (req.target == atoms_.utf8 || req.target == atoms_.textPlainUtf8) {
        Put(req.requestor, property, req.target, utf8_);
        reply.property = property;
      } else if (req.target == atoms_.text) {
        Put(req.requestor, property, atoms_.utf8, utf8_);
        reply.property = property;
      } else if (req.target == XA_STRING) {
        Put(req.requestor, property, XA_STRING, latin1_);
        reply.property = property;
      }
    }
    XSendEvent(d_, req.requestor, False, NoEventMask, reinterpret_cast<XEvent*>(&reply));
    XFlush(d_);
  }

  void Put(Window requestor, Atom property, Atom type, const std::string& data) {
    if (data.size() <= chunk_) {
      XChangeProperty(d_, requestor, property, type, 8, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(data.data()),
                      static_cast<int>(data.size()));
      return;
    }
    // Too long for one request: announce the size, then one chunk each time
    // the requestor deletes the property.
    XSelectInput(d_, requestor, PropertyChangeMask);
    long size = static_cast<long>(data.size());
    XChangeProperty(d_, requestor, property, atoms_.incr, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&size), 1);
    transfers_.push_back({requestor, property, type, &data, 0, Clock::now()});
  }

  // False once the closing empty chunk has gone.
  bool SendChunk(Transfer& t) {
    std::size_t n = std::min(chunk_, t.data->size() - t.offset);
    XChangeProperty(d_, t.requestor, t.property, t.type, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(t.data->data() + t.offset),
                    static_cast<int>(n));
    XFlush(d_);
    t.offset += n;
    t.lastActivity = Clock::now();
    return n > 0;
  }

  Display* d_;
  Atoms atoms_;
  std::string utf8_, latin1_;
  Window window_;
  Time time_ = CurrentTime;
  std::size_t chunk_;
  bool owner_ = true;
  std::vector<Transfer> transfers_;
};

// Runs in the serving process; reports on fd whether it owns the selection.
int Serve(const std::string& display, std::string utf8, std::string latin1, int fd) {
  XSetErrorHandler(IgnoreXError);
  XSetIOErrorHandler(ExitQuietly);
  Display* d = XOpenDisplay(display.c_str());
  if (!d) return 1;
  SelectionServer server(d, std::move(utf8), std::move(latin1));
  if (!server.TakeSelection()) return 1;
  if (::write(fd, "k", 1) != 1) return 1;
  ::close(fd);
  server.Run();
  return 0;
}

// Starts the serving process, detached from ours, and waits until it owns
// the selection.
bool StartServer(const std::string& display, const std::u16string& text, std::string& error) {
  std::string utf8 = ToUtf8(text), latin1 = ToLatin1(text);
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    error = std::string("cannot start the clipboard server: ") + std::strerror(errno);
    return false;
  }
  pid_t child = ::fork();
  if (child < 0) {
    error = std::string("cannot start the clipboard server: ") + std::strerror(errno);
    ::close(fds[0]);
    ::close(fds[1]);
    return false;
  }
  if (child == 0) {
    ::close(fds[0]);
    ::setsid();
    if (::fork() != 0) _exit(0);
    // Hold none of the caller's files: a caller reading our output must see
    // its end when we exit.
    int null = ::open("/dev/null", O_RDWR);
    for (int fd = 0; fd < 3; ++fd) ::dup2(null, fd);
    ::dup2(fds[1], 3);
    ::close_range(4, ~0u, 0);
    _exit(Serve(display, std::move(utf8), std::move(latin1), 3));
  }
  ::close(fds[1]);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  char c = 0;
  pollfd p{fds[0], POLLIN, 0};
  bool ok = false;
  int waitMs = static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(kHandOverTimeout).count());
  while (::poll(&p, 1, waitMs) < 0 && errno == EINTR) {
  }
  if (p.revents & (POLLIN | POLLHUP)) ok = ::read(fds[0], &c, 1) == 1 && c == 'k';
  ::close(fds[0]);
  if (!ok) error = "the X server did not hand the clipboard over";
  return ok;
}

// ---- The backend ------------------------------------------------------------

class X11Clipboard : public ClipboardBackend {
 public:
  ~X11Clipboard() override { Disconnect(); }

  bool Open(std::string& error) override {
    if (!Connect(error)) return false;
    open_ = true;
    return true;
  }

  bool Close(std::string& error) override {
    open_ = false;
    bool ok = true;
    if (dirty_) {
      std::optional<std::u16string> text = PendingText();
      std::string display = DisplayString(d_);
      if (!text) {
        // Emptied and nothing put back: the clipboard holds nothing.
        XSetSelectionOwner(d_, atoms_->clipboard, None, CurrentTime);
        XSync(d_, False);
      }
      Disconnect();
      if (text) ok = StartServer(display, *text, error);
    }
    Disconnect();
    return ok;
  }

  bool IsFormatAvailable(UINT format) override {
    if (format != CF_TEXT && format != CF_UNICODETEXT) return false;
    if (open_) return dirty_ ? PendingText().has_value() : HasText();
    std::string error;
    if (!Connect(error)) return false;
    bool has = HasText();
    Disconnect();
    return has;
  }

  std::optional<std::string> GetData(UINT format) override {
    if (!open_ || (format != CF_TEXT && format != CF_UNICODETEXT)) return std::nullopt;
    std::optional<std::u16string> text = dirty_ ? PendingText() : FetchText();
    if (!text) return std::nullopt;
    if (format == CF_UNICODETEXT) return UnitBytes(*text);
    return EncodeCodePage(GetACP(), *text) + '\0';
  }

  bool Empty() override {
    if (!open_) return false;
    dirty_ = true;
    unicode_.reset();
    ansi_.reset();
    return true;
  }

  bool SetData(UINT format, std::string bytes) override {
    if (!open_ || (format != CF_TEXT && format != CF_UNICODETEXT)) return false;
    dirty_ = true;
    (format == CF_UNICODETEXT ? unicode_ : ansi_) = std::move(bytes);
    return true;
  }

 private:
  struct Reply {
    Atom type = None;
    int format = 0;
    std::string bytes;
  };

  bool Connect(std::string& error) {
    if (d_) return true;
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name) {
      error = "DISPLAY is not set (no X display)";
      return false;
    }
    XSetErrorHandler(IgnoreXError);
    d_ = XOpenDisplay(name);
    if (!d_) {
      error = std::string("cannot connect to X display '") + name + "'";
      return false;
    }
    atoms_.emplace(d_);
    window_ = XCreateSimpleWindow(d_, DefaultRootWindow(d_), 0, 0, 1, 1, 0, 0, 0);
    XSelectInput(d_, window_, PropertyChangeMask);
    return true;
  }

  void Disconnect() {
    if (d_) {
      XDestroyWindow(d_, window_);
      XCloseDisplay(d_);
    }
    d_ = nullptr;
    atoms_.reset();
    targets_.reset();
    text_.reset();
    askedTargets_ = fetched_ = silent_ = dirty_ = false;
    unicode_.reset();
    ansi_.reset();
  }

  std::optional<std::u16string> PendingText() const {
    if (unicode_) return UnitsUpToZero(*unicode_);
    if (ansi_) return DecodeCodePage(GetACP(), ansi_->substr(0, ansi_->find('\0')));
    return std::nullopt;
  }

  bool HasOwner() { return XGetSelectionOwner(d_, atoms_->clipboard) != None; }

  bool HasText() {
    if (!HasOwner()) return false;
    if (const auto* targets = Targets()) {
      for (Atom t : *targets)
        if (t == atoms_->utf8 || t == atoms_->textPlainUtf8 || t == XA_STRING) return true;
      return false;
    }
    return FetchText().has_value();
  }

  // The owner's targets; null when it does not say.
  const std::vector<Atom>* Targets() {
    if (!askedTargets_) {
      askedTargets_ = true;
      std::optional<Reply> r = Request(atoms_->targets);
      if (r && r->format == 32 && (r->type == XA_ATOM || r->type == atoms_->targets)) {
        std::vector<Atom> list(r->bytes.size() / sizeof(long));
        for (std::size_t i = 0; i < list.size(); ++i) {
          long v;
          std::memcpy(&v, r->bytes.data() + i * sizeof(long), sizeof v);
          list[i] = static_cast<Atom>(v);
        }
        targets_ = std::move(list);
      }
    }
    return targets_ ? &*targets_ : nullptr;
  }

  std::optional<std::u16string> FetchText() {
    if (fetched_) return text_;
    fetched_ = true;
    if (!HasOwner()) return std::nullopt;
    std::vector<Atom> candidates;
    if (const auto* targets = Targets()) {
      for (Atom t : {atoms_->utf8, atoms_->textPlainUtf8, Atom{XA_STRING}})
        if (std::find(targets->begin(), targets->end(), t) != targets->end())
          candidates.push_back(t);
    } else {
      candidates = {atoms_->utf8, XA_STRING};
    }
    for (Atom t : candidates) {
      std::optional<Reply> r = Request(t);
      if (!r || r->format != 8) continue;
      Atom type =
          r->type == XA_STRING || r->type == atoms_->utf8 || r->type == atoms_->textPlainUtf8
              ? r->type
              : t;
      text_ = type == XA_STRING ? FromLatin1(r->bytes) : FromUtf8(r->bytes);
      return text_;
    }
    return std::nullopt;
  }

  // Asks the owner for target; nullopt when it refuses or does not answer.
  std::optional<Reply> Request(Atom target) {
    XDeleteProperty(d_, window_, atoms_->property);
    XConvertSelection(d_, atoms_->clipboard, target, atoms_->property, window_, CurrentTime);
    XEvent ev;
    if (silent_ || !WaitForEvent(d_, ev, Clock::now() + kAnswerTimeout, [&](const XEvent& e) {
          return e.type == SelectionNotify && e.xselection.requestor == window_ &&
                 e.xselection.selection == atoms_->clipboard;
        })) {
      // An owner that does not answer is not asked again in this session.
      silent_ = true;
      return std::nullopt;
    }
    if (ev.xselection.property == None) return std::nullopt;
    Reply r;
    if (!ReadProperty(ev.xselection.property, r)) return std::nullopt;
    if (r.type != atoms_->incr) return r;
    // In chunks: each deletion of the property asks for the next one; an
    // empty chunk ends the transfer.
    Reply whole;
    for (;;) {
      if (!WaitForEvent(d_, ev, Clock::now() + kAnswerTimeout, [&](const XEvent& e) {
            return e.type == PropertyNotify && e.xproperty.window == window_ &&
                   e.xproperty.atom == atoms_->property && e.xproperty.state == PropertyNewValue;
          }))
        return std::nullopt;
      Reply chunk;
      if (!ReadProperty(atoms_->property, chunk)) return std::nullopt;
      if (chunk.bytes.empty()) return whole;
      whole.type = chunk.type;
      whole.format = chunk.format;
      whole.bytes += chunk.bytes;
      if (whole.bytes.size() > kMaxTextBytes) return std::nullopt;
    }
  }

  // Reads the whole property and deletes it. Items of format 32 come as
  // longs, as Xlib gives them.
  bool ReadProperty(Atom property, Reply& r) {
    long offset = 0;
    for (;;) {
      Atom type;
      int format;
      unsigned long items, after;
      unsigned char* data = nullptr;
      if (XGetWindowProperty(d_, window_, property, offset, 1 << 16, False, AnyPropertyType, &type,
                             &format, &items, &after, &data) != Success)
        return false;
      std::size_t unit = format == 32 ? sizeof(long) : format == 16 ? sizeof(short) : 1;
      if (data) r.bytes.append(reinterpret_cast<const char*>(data), items * unit);
      if (data) XFree(data);
      r.type = type;
      r.format = format;
      if (after == 0) break;
      offset += static_cast<long>(items * static_cast<unsigned long>(format / 8) / 4);
      if (r.bytes.size() > kMaxTextBytes) return false;
    }
    XDeleteProperty(d_, window_, property);
    XFlush(d_);
    return true;
  }

  Display* d_ = nullptr;
  std::optional<Atoms> atoms_;
  Window window_ = 0;
  bool open_ = false;
  // This session's view of the owner.
  bool askedTargets_ = false, fetched_ = false, silent_ = false;
  std::optional<std::vector<Atom>> targets_;
  std::optional<std::u16string> text_;
  // What this session put on the clipboard.
  bool dirty_ = false;
  std::optional<std::string> unicode_, ansi_;
};

}  // namespace

std::unique_ptr<ClipboardBackend> MakeX11Clipboard() { return std::make_unique<X11Clipboard>(); }

}  // namespace quillmer
