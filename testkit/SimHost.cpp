// The simulated host editor: a window answering the host messages over a line model.
#include "SimHost.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "LineBreaks.h"

namespace {

constexpr wchar_t kClassName[] = L"MarquillSimHost";
constexpr UINT kHostFirst = 0x800;
constexpr UINT kHostLast = 0x8FF;

std::u16string_view FromWide(const wchar_t* s) {
  if (!s) return {};
  return std::u16string_view(reinterpret_cast<const char16_t*>(s));
}

// Appends the lines of text that end with a break to lines; returns where
// the rest (the text after the last break) starts.
template <class Lines>
size_t AppendBrokenLines(std::u16string_view text, Lines& lines) {
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = LineEndAt(text, start);
    if (BreakLength(text.substr(start, end - start)) == 0) break;
    lines.emplace_back(text.substr(start, end - start));
    start = end;
  }
  return start;
}

}  // namespace

// The document is kept as editor lines: every line but the last ends with its
// break, the last has none (and is empty when the text ends in a break). An
// edit re-splits only the lines it touches plus one neighbour on each side
// (so that a CR and an LF meeting across the edit form one break), which keeps
// a line-by-line rewrite of a large document linear. View rows are a prefix
// sum kept valid up to the first edited line and extended on demand.
struct TSimHost::TImpl {
  TSimHost* Owner = nullptr;
  HWND Wnd = nullptr;

  std::vector<std::u16string> Lines{std::u16string()};
  mutable std::vector<int32_t> RowStart{0};  // RowStart[y] = view rows before line y
  mutable size_t RowValid = 1;               // RowStart[0 .. RowValid-1] are valid
  int32_t Wrap = 40;

  HostPos AnchorPos{0, 0};
  HostPos CaretPos{0, 0};

  std::optional<std::u16string> PlugInsFolder;
  TSimSettingRequest LastSetting;
  int32_t StatusAnswer = 1;
  const void* StatusPointer = nullptr;
  int32_t StatusCommand = 0;
  std::vector<int32_t> Events;
  std::vector<int32_t> Commands;
  HostScrollValue Scroll{0, 0};
  bool Redraw = true;
  int32_t RedrawOff = 0, RedrawOnN = 0;

  std::vector<TSimMessage> MsgLog;
  std::array<int32_t, kHostLast - kHostFirst + 1> Counts{};
  bool Logging = true;
  TSimReadQuirk Quirk = srNormal;
  int32_t Surplus = 16;
  std::u16string SurplusFill = u"X";
  bool FillPositions = true;

  // --- lines and positions ---
  int32_t LastLine() const { return static_cast<int32_t>(Lines.size()) - 1; }
  int32_t FullLen(int32_t y) const { return static_cast<int32_t>(Lines[y].size()); }
  int32_t ContentLen(int32_t y) const {
    return static_cast<int32_t>(Lines[y].size() - BreakLength(Lines[y]));
  }
  // Highest column a position can take: past a CR LF's CR is a place the
  // host can reach by counting units, so it exists in both forms.
  int32_t MaxX(int32_t y) const {
    return ContentLen(y) + (BreakLength(Lines[y]) == 2 ? 1 : 0);
  }
  static bool Less(HostPos a, HostPos b) { return a.y != b.y ? a.y < b.y : a.x < b.x; }

  HostPos ClampLogical(HostPos p) const {
    p.y = std::clamp(p.y, 0, LastLine());
    p.x = std::clamp(p.x, 0, ContentLen(p.y));
    return p;
  }

  HostPos Advance(HostPos p, int64_t n) const {
    while (n > 0) {
      int64_t rem = FullLen(p.y) - p.x;
      if (n < rem) {
        p.x += static_cast<int32_t>(n);
        break;
      }
      if (p.y == LastLine()) {
        p.x = FullLen(p.y);
        break;
      }
      n -= rem;
      ++p.y;
      p.x = 0;
    }
    return p;
  }

  std::u16string TextBetween(HostPos a, HostPos b) const {
    if (Less(b, a)) std::swap(a, b);
    if (a.y == b.y) return Lines[a.y].substr(a.x, b.x - a.x);
    std::u16string s = Lines[a.y].substr(a.x);
    for (int32_t y = a.y + 1; y < b.y; ++y) s += Lines[y];
    s.append(Lines[b.y], 0, b.x);
    return s;
  }

  // --- view rows ---
  int32_t RowsOf(int32_t y) const { return MaxX(y) / Wrap + 1; }
  int32_t RowStartOf(int32_t y) const {  // y may be Lines.size()
    if (RowStart.size() != Lines.size() + 1) {
      RowStart.resize(Lines.size() + 1);
      RowValid = std::min(RowValid, RowStart.size());
    }
    while (RowValid <= static_cast<size_t>(y)) {
      RowStart[RowValid] = RowStart[RowValid - 1] + RowsOf(static_cast<int32_t>(RowValid - 1));
      ++RowValid;
    }
    return RowStart[y];
  }
  void InvalidateFrom(int32_t y) { RowValid = std::min(RowValid, static_cast<size_t>(y) + 1); }

  HostPos ToView(HostPos p) const {
    p.y = std::clamp(p.y, 0, LastLine());
    p.x = std::clamp(p.x, 0, MaxX(p.y));
    return HostPos{p.x % Wrap, RowStartOf(p.y) + p.x / Wrap};
  }
  HostPos FromView(HostPos v) const {
    int32_t total = RowStartOf(static_cast<int32_t>(Lines.size()));
    if (v.y < 0) return HostPos{0, 0};
    if (v.y >= total) return HostPos{MaxX(LastLine()), LastLine()};
    auto it = std::upper_bound(RowStart.begin(), RowStart.begin() + Lines.size() + 1, v.y);
    int32_t y = static_cast<int32_t>(it - RowStart.begin()) - 1;
    int32_t col = std::clamp(v.x, 0, Wrap - 1);
    int32_t x = (v.y - RowStart[y]) * Wrap + col;
    return HostPos{std::min(x, MaxX(y)), y};
  }

  // --- editing ---
  void SetText(std::u16string_view text) {
    Lines.clear();
    Lines.emplace_back(text.substr(AppendBrokenLines(text, Lines)));
    RowStart.assign(Lines.size() + 1, 0);
    RowValid = 1;
    AnchorPos = CaretPos = HostPos{0, 0};
  }

  // Replaces the units between a and b (a <= b) by text; returns the position
  // right after the inserted text.
  HostPos Replace(HostPos a, HostPos b, std::u16string_view text) {
    if (Less(b, a)) std::swap(a, b);
    const int32_t lo = a.y > 0 ? a.y - 1 : a.y;
    const int32_t hi = b.y < LastLine() ? b.y + 1 : b.y;
    std::u16string region;
    for (int32_t y = lo; y < a.y; ++y) region += Lines[y];
    region.append(Lines[a.y], 0, a.x);
    const size_t caret = region.size() + text.size();
    region += text;
    region.append(Lines[b.y], b.x);
    for (int32_t y = b.y + 1; y <= hi; ++y) region += Lines[y];

    std::vector<std::u16string> pieces;
    std::u16string_view r(region);
    const size_t start = AppendBrokenLines(r, pieces);
    if (hi == LastLine()) pieces.emplace_back(r.substr(start));  // the last line, without a break

    // Position of the caret offset within the pieces.
    HostPos after{0, lo};
    size_t off = caret;
    for (size_t i = 0; i < pieces.size(); ++i) {
      bool last = i + 1 == pieces.size();
      if (off < pieces[i].size() || last) {
        after = HostPos{static_cast<int32_t>(std::min(off, pieces[i].size())), lo + static_cast<int32_t>(i)};
        break;
      }
      off -= pieces[i].size();
    }

    const size_t oldCount = static_cast<size_t>(hi - lo + 1);
    auto first = Lines.begin() + lo;
    if (pieces.size() == oldCount) {
      std::move(pieces.begin(), pieces.end(), first);
    } else if (pieces.size() > oldCount) {
      std::move(pieces.begin(), pieces.begin() + oldCount, first);
      Lines.insert(first + oldCount, std::make_move_iterator(pieces.begin() + oldCount),
                   std::make_move_iterator(pieces.end()));
    } else {
      std::move(pieces.begin(), pieces.end(), first);
      Lines.erase(first + pieces.size(), first + oldCount);
    }
    InvalidateFrom(lo);
    return after;
  }

  HostPos SelStart() const { return Less(CaretPos, AnchorPos) ? CaretPos : AnchorPos; }
  HostPos SelEnd() const { return Less(CaretPos, AnchorPos) ? AnchorPos : CaretPos; }

  // --- message handling ---
  LRESULT TwoStepRead(const std::u16string& text, int32_t size, wchar_t* buffer, bool valid) {
    const int32_t len = static_cast<int32_t>(text.size());
    if (!buffer || size <= 0) {
      if (!valid) return 0;
      switch (Quirk) {
        case srSizeZero: return 0;
        case srSizeNegative: return -7;
        case srNoNul: return len;
        case srOversize: return len + 1 + Surplus;
        default: return len + 1;
      }
    }
    if (!valid) return 0;
    if (Quirk == srNoNul) {
      int32_t n = std::min(len, size);
      std::memcpy(buffer, text.data(), n * sizeof(wchar_t));
      return n;
    }
    int32_t n = std::min(len, size - 1);
    std::memcpy(buffer, text.data(), n * sizeof(wchar_t));
    buffer[n] = 0;
    if (Quirk == srOversize) {
      for (int32_t i = n + 1, k = 0; i < size; ++i, ++k)
        buffer[i] = SurplusFill.empty() ? 0 : static_cast<wchar_t>(SurplusFill[k % SurplusFill.size()]);
    }
    return n + 1;
  }

  bool GetPos(int32_t kind, HostPos logical, LPARAM l, TSimMessage& r) {
    auto* out = reinterpret_cast<HostPos*>(l);
    r.PosKind = kind;
    HostPos p;
    if (kind == POS_LOGICAL) p = logical;
    else if (kind == POS_DEFAULT) p = ToView(logical);
    else return false;
    r.Pos = p;
    if (out && FillPositions) *out = p;
    return true;
  }

  LRESULT Handle(UINT msg, WPARAM w, LPARAM l, TSimMessage& r) {
    const int32_t kind = static_cast<int32_t>(w);
    switch (msg) {
      case HOST_QUERY_COMMAND_STATUS:
        StatusCommand = r.Count = static_cast<int32_t>(w);
        StatusPointer = reinterpret_cast<const void*>(l);
        return StatusAnswer;
      case HOST_EVENT_REPLY:
        r.Count = static_cast<int32_t>(w);
        Events.push_back(r.Count);
        return 0;
      case HOST_GET_LINE_COUNT:
        r.PosKind = kind;
        if (kind == POS_LOGICAL) return static_cast<LRESULT>(Lines.size());
        if (kind == POS_DEFAULT) return RowStartOf(static_cast<int32_t>(Lines.size()));
        return 0;
      case HOST_GET_CARET_POS:
        return GetPos(kind, CaretPos, l, r) ? 1 : 0;
      case HOST_GET_SEL_START:
        return GetPos(kind, SelStart(), l, r) ? 1 : 0;
      case HOST_GET_SEL_END:
        return GetPos(kind, SelEnd(), l, r) ? 1 : 0;
      case HOST_GET_SCROLL_POS:
        if (l) std::memcpy(reinterpret_cast<void*>(l), &Scroll, sizeof Scroll);
        return 1;
      case HOST_SET_SCROLL_POS:
        if (l) std::memcpy(&Scroll, reinterpret_cast<const void*>(l), sizeof Scroll);
        return 1;
      case HOST_CONVERT_POS: {
        r.PosKind = POS_LOGICAL;
        auto* in = reinterpret_cast<const HostPos*>(w);
        auto* out = reinterpret_cast<HostPos*>(l);
        if (!in || !out) return 0;
        r.Pos = *in;
        r.Pos2 = ToView(ClampLogical(*in));
        *out = r.Pos2;
        return 1;
      }
      case HOST_SET_CARET_POS: {
        r.PosKind = kind;
        auto* in = reinterpret_cast<const HostPos*>(l);
        if (!in) return 0;
        r.Pos = *in;
        if (kind == POS_LOGICAL) CaretPos = ClampLogical(*in);
        else if (kind == POS_DEFAULT) CaretPos = FromView(*in);
        else return 0;
        AnchorPos = CaretPos;
        return 1;
      }
      case HOST_SELECT_CHARS: {
        r.Count = static_cast<int32_t>(w);
        AnchorPos = CaretPos;
        CaretPos = Advance(CaretPos, std::max(r.Count, 0));
        return 1;
      }
      case HOST_SET_SELECTION: {
        r.PosKind = POS_DEFAULT;
        auto* a = reinterpret_cast<const HostPos*>(w);
        auto* b = reinterpret_cast<const HostPos*>(l);
        if (!a || !b) return 0;
        r.Pos = *a;
        r.Pos2 = *b;
        AnchorPos = FromView(*a);
        CaretPos = FromView(*b);
        return 1;
      }
      case HOST_SET_REDRAW:
        r.Count = w != 0 ? 1 : 0;
        Redraw = w != 0;
        ++(Redraw ? RedrawOnN : RedrawOff);
        return 1;
      case HOST_GET_SEL_TYPE:
        return (AnchorPos == CaretPos) ? 0 : 1;
      case HOST_GET_SEL_TEXT: {
        r.Count = static_cast<int32_t>(w);
        r.HasBuffer = l != 0;
        return TwoStepRead(TextBetween(AnchorPos, CaretPos), r.Count, reinterpret_cast<wchar_t*>(l), true);
      }
      case HOST_GET_LINE_TEXT: {
        auto* req = reinterpret_cast<const HostLineRequest*>(w);
        r.HasBuffer = l != 0;
        if (!req) return 0;
        r.Count = req->size;
        r.Flags = req->flags;
        r.Line = req->line;
        bool valid = req->line >= 0 && req->line <= LastLine();
        std::u16string text;
        if (valid) {
          text = Lines[req->line];
          if (!(req->flags & 1)) text.resize(ContentLen(req->line));
        }
        return TwoStepRead(text, req->size, reinterpret_cast<wchar_t*>(l), valid);
      }
      case HOST_INSERT_TEXT: {
        std::u16string_view text = FromWide(reinterpret_cast<const wchar_t*>(l));
        if (Logging) r.Text.assign(text);
        CaretPos = AnchorPos = Replace(SelStart(), SelEnd(), text);
        return 1;
      }
      case HOST_RUN_COMMAND:
        r.Count = static_cast<int32_t>(w);
        Commands.push_back(r.Count);
        return 1;
      case HOST_READ_SETTING:
        return ReadSetting(reinterpret_cast<HostSettingRequest*>(l), r);
      default:
        return 0;
    }
  }

  LRESULT ReadSetting(HostSettingRequest* req, TSimMessage& r) {
    if (!req) return 0;
    TSimSettingRequest s;
    s.Size = req->size;
    s.HostWord1 = req->hostWord1;
    s.HostWord2 = req->hostWord2;
    s.HostWord3 = req->hostWord3;
    s.Kind = req->kind;
    s.Name.assign(FromWide(req->name));
    s.HasBuffer = req->buffer != nullptr;
    s.HasSizeWord = req->bufferBytes != nullptr;
    s.BufferBytes = req->bufferBytes ? *req->bufferBytes : 0;
    LastSetting = s;
    r.Text = s.Name;
    r.Count = static_cast<int32_t>(s.BufferBytes);
    if (s.Size != 32 || !s.HasBuffer || !s.HasSizeWord || s.Name != u"PlugInsFolder" || !PlugInsFolder) return 0;
    const size_t units = s.BufferBytes / sizeof(wchar_t);
    if (units == 0) return 0;
    const std::u16string& v = *PlugInsFolder;
    const size_t n = std::min(v.size(), units - 1);
    std::memcpy(req->buffer, v.data(), n * sizeof(wchar_t));
    req->buffer[n] = 0;
    return n == v.size() ? 1 : 0;  // 0: the value did not fit and was cut
  }

  static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
    if (msg == WM_NCCREATE) {
      auto* cs = reinterpret_cast<CREATESTRUCTW*>(l);
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
      return DefWindowProcW(hwnd, msg, w, l);
    }
    auto* self = reinterpret_cast<TImpl*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcW(hwnd, msg, w, l);
    if (msg >= kHostFirst && msg <= kHostLast) {
      TSimMessage r;
      r.Msg = msg;
      r.WParam = w;
      r.LParam = l;
      r.Result = self->Handle(msg, w, l, r);
      ++self->Counts[msg - kHostFirst];
      if (self->Logging) self->MsgLog.push_back(r);
      if (self->Owner->OnHostMessage) self->Owner->OnHostMessage(r);
      return r.Result;
    }
    if (self->Owner->OnOtherMessage) {
      LRESULT result = 0;
      if (self->Owner->OnOtherMessage(msg, w, l, result)) return result;
    }
    return DefWindowProcW(hwnd, msg, w, l);
  }
};

TSimHost::TSimHost(std::u16string_view text, int32_t wrapWidth) : FImpl(std::make_unique<TImpl>()) {
  FImpl->Owner = this;
  FImpl->Wrap = std::max(wrapWidth, 1);
  FImpl->SetText(text);
  HINSTANCE inst = GetModuleHandleW(nullptr);
  WNDCLASSEXW wc{};
  if (!GetClassInfoExW(inst, kClassName, &wc)) {
    wc = WNDCLASSEXW{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &TImpl::WndProc;
    wc.hInstance = inst;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kClassName;
    RegisterClassExW(&wc);
  }
  FImpl->Wnd = CreateWindowExW(0, kClassName, L"Marquill host", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                               480, 320, nullptr, nullptr, inst, FImpl.get());
}

TSimHost::~TSimHost() {
  if (FImpl->Wnd) {
    SetWindowLongPtrW(FImpl->Wnd, GWLP_USERDATA, 0);
    DestroyWindow(FImpl->Wnd);
  }
}

HWND TSimHost::Hwnd() const { return FImpl->Wnd; }
void TSimHost::Show(bool visible) {
  ShowWindow(FImpl->Wnd, visible ? SW_SHOW : SW_HIDE);
  if (visible) UpdateWindow(FImpl->Wnd);
}

void TSimHost::SetText(std::u16string_view text) { FImpl->SetText(text); }
std::u16string TSimHost::Text() const {
  size_t n = 0;
  for (const auto& l : FImpl->Lines) n += l.size();
  std::u16string s;
  s.reserve(n);
  for (const auto& l : FImpl->Lines) s += l;
  return s;
}
int32_t TSimHost::LineCount() const { return static_cast<int32_t>(FImpl->Lines.size()); }
std::u16string TSimHost::Line(int32_t y) const {
  if (y < 0 || y > FImpl->LastLine()) return {};
  return FImpl->Lines[y];
}
int32_t TSimHost::LineLength(int32_t y) const {
  if (y < 0 || y > FImpl->LastLine()) return 0;
  return FImpl->ContentLen(y);
}

void TSimHost::SetCaret(HostPos caret) { FImpl->AnchorPos = FImpl->CaretPos = FImpl->ClampLogical(caret); }
void TSimHost::SetSelection(HostPos anchor, HostPos active) {
  FImpl->AnchorPos = FImpl->ClampLogical(anchor);
  FImpl->CaretPos = FImpl->ClampLogical(active);
}
HostPos TSimHost::Anchor() const { return FImpl->AnchorPos; }
HostPos TSimHost::Caret() const { return FImpl->CaretPos; }
HostPos TSimHost::SelStart() const { return FImpl->SelStart(); }
HostPos TSimHost::SelEnd() const { return FImpl->SelEnd(); }
bool TSimHost::HasSelection() const { return !(FImpl->AnchorPos == FImpl->CaretPos); }
std::u16string TSimHost::SelectedText() const { return FImpl->TextBetween(FImpl->AnchorPos, FImpl->CaretPos); }

void TSimHost::SetWrapWidth(int32_t width) {
  FImpl->Wrap = std::max(width, 1);
  FImpl->RowValid = 1;
}
int32_t TSimHost::WrapWidth() const { return FImpl->Wrap; }
HostPos TSimHost::ToView(HostPos logical) const { return FImpl->ToView(logical); }
HostPos TSimHost::FromView(HostPos view) const { return FImpl->FromView(view); }
int32_t TSimHost::ViewRowCount() const { return FImpl->RowStartOf(LineCount()); }

void TSimHost::SetPlugInsFolder(std::optional<std::u16string> value) { FImpl->PlugInsFolder = std::move(value); }
const TSimSettingRequest& TSimHost::LastSettingRequest() const { return FImpl->LastSetting; }

void TSimHost::SetCommandStatusAnswer(int32_t answer) { FImpl->StatusAnswer = answer; }
const void* TSimHost::LastStatusPointer() const { return FImpl->StatusPointer; }
int32_t TSimHost::LastStatusCommand() const { return FImpl->StatusCommand; }

const std::vector<int32_t>& TSimHost::EventReplies() const { return FImpl->Events; }
const std::vector<int32_t>& TSimHost::RunCommands() const { return FImpl->Commands; }

void TSimHost::SetScrollValue(HostScrollValue value) { FImpl->Scroll = value; }
HostScrollValue TSimHost::ScrollValue() const { return FImpl->Scroll; }

bool TSimHost::RedrawOn() const { return FImpl->Redraw; }
int32_t TSimHost::RedrawOffCount() const { return FImpl->RedrawOff; }
int32_t TSimHost::RedrawOnCount() const { return FImpl->RedrawOnN; }

const std::vector<TSimMessage>& TSimHost::Log() const { return FImpl->MsgLog; }
int32_t TSimHost::CountOf(UINT msg) const {
  if (msg < kHostFirst || msg > kHostLast) return 0;
  return FImpl->Counts[msg - kHostFirst];
}
void TSimHost::ClearLog() {
  FImpl->MsgLog.clear();
  FImpl->Counts.fill(0);
}
void TSimHost::SetLogging(bool on) { FImpl->Logging = on; }

void TSimHost::SetReadQuirk(TSimReadQuirk quirk) { FImpl->Quirk = quirk; }
void TSimHost::SetOversize(int32_t surplus, std::u16string_view fill) {
  FImpl->Surplus = std::max(surplus, 0);
  FImpl->SurplusFill.assign(fill);
}
void TSimHost::SetReadProfile(TSimReadProfile profile, int32_t surplus) {
  switch (profile) {
    case rpGenerousJunk:
      SetReadQuirk(srOversize);
      SetOversize(surplus, u"#\r\n> x\n");
      break;
    case rpGenerousZeros:
      SetReadQuirk(srOversize);
      SetOversize(surplus, u"");
      break;
    default:
      SetReadQuirk(srNormal);
      break;
  }
}
void TSimHost::SetFillPositions(bool fill) { FImpl->FillPositions = fill; }
