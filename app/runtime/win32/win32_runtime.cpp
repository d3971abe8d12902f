// The window runtime on Win32: one top-level window of our own class, push buttons of the
// system's BUTTON class (drawn by common controls 6 through the manifest), and labels, lines
// and images of a small child class of ours that paints them and reports the mouse. Twips are
// converted at the screen's DPI; strings go to the A functions in the ANSI code page.
#include <windows.h>
#include <windowsx.h>

#include <algorithm>
#include <array>
#include <stdexcept>
#include <string>
#include <vector>

#include "ansi.h"
#include "runtime/embedded_pictures.h"
#include "runtime/win32/bitmaps.h"
#include "runtime/win32/gdi_object.h"
#include "runtime/window_runtime.h"

namespace vidazoz::runtime {
namespace win32 {
namespace {

constexpr char kFormClass[] = "VidazozForm";
constexpr char kControlClass[] = "VidazozControl";
constexpr int kFirstControlId = 100;  // clear of IDOK/IDCANCEL, which Enter and Escape send
constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr int kIconResource = 1;

struct Control {
  ControlSpec layout;  // its row of the form's control table
  HWND hwnd = nullptr;
  std::string caption;
  Colour fore = kDefaultColour;
  bool bold = false;
  bool leftPressed = false;  // a left press began here: its release inside is a click
};

class Win32Runtime final : public WindowRuntime {
 public:
  Win32Runtime() {
    HDC screen = GetDC(nullptr);
    dpiX_ = GetDeviceCaps(screen, LOGPIXELSX);
    dpiY_ = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
  }
  Win32Runtime(const Win32Runtime&) = delete;
  Win32Runtime& operator=(const Win32Runtime&) = delete;
  ~Win32Runtime() override {
    if (hwnd_ != nullptr) DestroyWindow(hwnd_);
    UnregisterClassA(kControlClass, GetModuleHandleA(nullptr));
    UnregisterClassA(kFormClass, GetModuleHandleA(nullptr));
  }

  int Run(Form& form) override {
    form_ = &form;
    form.Initialize();
    CreateForm();
    MSG msg{};
    BOOL got = 0;
    while ((got = GetMessageA(&msg, nullptr, 0, 0)) > 0) {
      if (hwnd_ != nullptr && !IsEnterOrEscape(msg) && IsDialogMessageA(hwnd_, &msg)) continue;  // Tab
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    return got < 0 ? 1 : static_cast<int>(msg.wParam);
  }

  void SetCaption(ControlId id, const std::string& caption) override {
    Control& c = At(id);
    c.caption = caption;
    if (c.layout.kind == ControlKind::Button) {
      SetWindowTextA(c.hwnd, ansi::FromUtf8(caption).c_str());
    } else {
      InvalidateRect(c.hwnd, nullptr, TRUE);
    }
  }

  void SetForeColour(ControlId id, Colour colour) override {
    Control& c = At(id);
    c.fore = colour;
    InvalidateRect(c.hwnd, nullptr, TRUE);
  }

  void SetFontBold(ControlId id, bool bold) override {
    Control& c = At(id);
    c.bold = bold;
    if (c.layout.kind == ControlKind::Button) SendMessageA(c.hwnd, WM_SETFONT, FontFor(c), TRUE);
    InvalidateRect(c.hwnd, nullptr, TRUE);
  }

  void SetVisible(ControlId id, bool visible) override {
    ShowWindow(At(id).hwnd, visible ? SW_SHOWNA : SW_HIDE);
  }

  void SetFormHeight(Twips outerHeight) override {
    if (hwnd_ == nullptr) return;
    RECT client{};
    GetClientRect(hwnd_, &client);
    const RECT outer = OuterRect(client.right, PixelsY(outerHeight - kFrameHeightAllowance));
    RECT now{};
    GetWindowRect(hwnd_, &now);
    SetWindowPos(hwnd_, nullptr, 0, 0, now.right - now.left, outer.bottom - outer.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }

  WindowHandle Handle() const override {
    if (hwnd_ == nullptr) throw std::runtime_error("the window does not exist");
    return reinterpret_cast<WindowHandle>(hwnd_);
  }

  int MsgBox(const std::string& prompt, std::int32_t style, const std::string& title) override {
    return MessageBoxA(hwnd_, ansi::FromUtf8(prompt).c_str(), ansi::FromUtf8(title).c_str(),
                       static_cast<UINT>(style));
  }

  void End() override { ExitProcess(0); }

 private:
  // No button is the default or the cancel button. The dialog manager would click the button
  // that Tab last gave the focus to on Enter, so these keys go straight to the control.
  static bool IsEnterOrEscape(const MSG& msg) {
    const bool key = msg.message == WM_KEYDOWN || msg.message == WM_KEYUP || msg.message == WM_CHAR;
    return key && (msg.wParam == VK_RETURN || msg.wParam == VK_ESCAPE);
  }

  int PixelsX(Twips t) const { return MulDiv(t, dpiX_, kTwipsPerInch); }
  int PixelsY(Twips t) const { return MulDiv(t, dpiY_, kTwipsPerInch); }
  Twips TwipsX(int px) const { return MulDiv(px, kTwipsPerInch, dpiX_); }
  Twips TwipsY(int px) const { return MulDiv(px, kTwipsPerInch, dpiY_); }

  Control& At(ControlId id) {
    if (id >= controls_.size()) throw std::out_of_range("no control " + std::to_string(id));
    return controls_[id];
  }

  RECT OuterRect(int clientWidth, int clientHeight) const {
    RECT r{0, 0, clientWidth, clientHeight};
    AdjustWindowRectEx(&r, kFormStyle, FALSE, 0);
    return r;
  }

  WPARAM FontFor(const Control& c) const {
    return reinterpret_cast<WPARAM>((c.bold ? bold_ : regular_).Get());
  }

  HFONT MakeFont(const runtime::Font& f, bool bold) const {
    LOGFONTA lf{};
    lf.lfHeight = -MulDiv(static_cast<int>(f.points * 100 + 0.5), dpiY_, 7200);
    lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    lf.lfCharSet = ANSI_CHARSET;
    const std::string face(f.face);
    lstrcpynA(lf.lfFaceName, face.c_str(), LF_FACESIZE);
    return CreateFontIndirectA(&lf);
  }

  void RegisterClasses(HINSTANCE instance, const FormSpec& layout) {
    background_ = GdiBrush(CreateSolidBrush(layout.backColour));
    WNDCLASSEXA form{};
    form.cbSize = sizeof form;
    form.lpfnWndProc = &Win32Runtime::FormProc;
    form.hInstance = instance;
    form.hCursor = LoadCursor(nullptr, IDC_ARROW);
    form.hbrBackground = background_.Get();
    form.lpszClassName = kFormClass;
    form.hIcon = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(kIconResource), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
    form.hIconSm = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(kIconResource), IMAGE_ICON,
                                                 GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    if (RegisterClassExA(&form) == 0) throw std::runtime_error("cannot register the window class");

    WNDCLASSEXA child{};
    child.cbSize = sizeof child;
    child.lpfnWndProc = &Win32Runtime::ControlProc;
    child.hInstance = instance;
    child.hCursor = LoadCursor(nullptr, IDC_ARROW);
    child.lpszClassName = kControlClass;
    if (RegisterClassExA(&child) == 0) throw std::runtime_error("cannot register the control class");
  }

  void CreateForm() {
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    const FormSpec& layout = form_->Layout();
    RegisterClasses(instance, layout);
    backColour_ = layout.backColour;

    // Every control carries Arial 8.25 in the table; one regular and one bold font serve all.
    const auto table = form_->Controls();
    const runtime::Font face = table.empty() ? runtime::Font{} : table.front().font;
    regular_ = GdiFont(MakeFont(face, false));
    bold_ = GdiFont(MakeFont(face, true));
    logo_ = BitmapFromBmpFile(embedded::logo_bmp());
    download_ = BitmapFromBmpFile(embedded::download_bmp());

    const RECT outer = OuterRect(PixelsX(layout.clientWidth), PixelsY(layout.clientHeight));
    const int width = outer.right - outer.left, height = outer.bottom - outer.top;
    const int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    hwnd_ = CreateWindowExA(0, kFormClass, ansi::FromUtf8(layout.caption).c_str(), kFormStyle, x, y, width,
                            height, nullptr, nullptr, instance, this);
    if (hwnd_ == nullptr) throw std::runtime_error("cannot create the window");

    controls_.clear();
    for (const ControlSpec& row : table)
      controls_.push_back({.layout = row, .caption = std::string(row.caption), .fore = row.foreColour,
                           .bold = row.font.bold});

    // Creation order is the tab order the form gives.
    for (ControlId id : form_->TabOrder()) CreateControl(id, instance);

    ShowWindow(hwnd_, SW_SHOWNORMAL);
    UpdateWindow(hwnd_);
    SetFocus(At(form_->FirstFocus()).hwnd);
  }

  void CreateControl(ControlId id, HINSTANCE instance) {
    Control& c = At(id);
    const ControlSpec& s = c.layout;
    int left = PixelsX(s.left), top = PixelsY(s.top), width = PixelsX(s.width), height = PixelsY(s.height);
    if (s.kind == ControlKind::Line) {  // one pixel wide along its longer extent
      width = std::max(width, 1);
      height = std::max(height, 1);
    }
    const DWORD visible = s.visible ? WS_VISIBLE : 0;
    const auto menuId = reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstControlId + id));
    if (s.kind == ControlKind::Button) {
      c.hwnd = CreateWindowExA(0, "BUTTON", ansi::FromUtf8(c.caption).c_str(),
                               WS_CHILD | WS_TABSTOP | BS_PUSHBUTTON | visible, left, top, width, height, hwnd_,
                               menuId, instance, nullptr);
      if (c.hwnd != nullptr) SendMessageA(c.hwnd, WM_SETFONT, FontFor(c), FALSE);
    } else {
      c.hwnd = CreateWindowExA(0, kControlClass, "", WS_CHILD | visible, left, top, width, height, hwnd_, menuId,
                               instance, this);
    }
    if (c.hwnd == nullptr) throw std::runtime_error("cannot create the control " + std::string(s.name));
  }

  Control* ControlOf(HWND hwnd) {
    const auto id = static_cast<ControlId>(GetDlgCtrlID(hwnd) - kFirstControlId);
    return id < controls_.size() && controls_[id].hwnd == hwnd ? &controls_[id] : nullptr;
  }

  void Paint(Control& c, HDC dc, const RECT& area) {
    HBRUSH back = CreateSolidBrush(backColour_);  // labels and images have no background of their own
    FillRect(dc, &area, back);
    DeleteObject(back);
    switch (c.layout.kind) {
      case ControlKind::Label: {
        const COLORREF colour = c.fore == kDefaultColour ? GetSysColor(COLOR_BTNTEXT) : c.fore;
        SetTextColor(dc, colour);
        SetBkMode(dc, TRANSPARENT);
        const HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(FontFor(c)));
        RECT box = area;
        const std::string text = ansi::FromUtf8(c.caption);
        DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &box, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
        SelectObject(dc, old);
        break;
      }
      case ControlKind::Line: {
        HPEN pen = CreatePen(PS_SOLID, 1, c.fore == kDefaultColour ? GetSysColor(COLOR_WINDOWTEXT) : c.fore);
        const HGDIOBJ old = SelectObject(dc, pen);
        const bool horizontal = c.layout.height == 0;
        MoveToEx(dc, 0, 0, nullptr);
        LineTo(dc, horizontal ? area.right : 0, horizontal ? 0 : area.bottom);
        SelectObject(dc, old);
        DeleteObject(pen);
        break;
      }
      case ControlKind::Image: {
        const HBITMAP bitmap = c.layout.picture == Picture::Logo       ? logo_.Get()
                               : c.layout.picture == Picture::Download ? download_.Get()
                                                                     : nullptr;
        BITMAP info{};
        if (bitmap == nullptr || GetObjectA(bitmap, sizeof info, &info) == 0) break;
        HDC memory = CreateCompatibleDC(dc);
        const HGDIOBJ old = SelectObject(memory, bitmap);
        // Natural size: one bitmap pixel to 15 twips.
        StretchBlt(dc, 0, 0, PixelsX(info.bmWidth * 15), PixelsY(info.bmHeight * 15), memory, 0, 0, info.bmWidth,
                   info.bmHeight, SRCCOPY);
        SelectObject(memory, old);
        DeleteDC(memory);
        break;
      }
      case ControlKind::Button:
        break;
    }
  }

  // The runtime's button numbers: 1 left, 2 right, 4 middle.
  static int ButtonOf(UINT message) {
    switch (message) {
      case WM_LBUTTONDOWN: case WM_LBUTTONUP: return 1;
      case WM_RBUTTONDOWN: case WM_RBUTTONUP: return 2;
      default: return 4;
    }
  }

  MouseArgs ArgsOf(int button, WPARAM keys, LPARAM at) const {
    MouseArgs args;
    args.button = button;
    args.shift = ((keys & MK_SHIFT) ? 1 : 0) | ((keys & MK_CONTROL) ? 2 : 0) | (GetKeyState(VK_MENU) < 0 ? 4 : 0);
    args.x = TwipsX(GET_X_LPARAM(at));
    args.y = TwipsY(GET_Y_LPARAM(at));
    return args;
  }

  LRESULT OnControl(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Control* c = ControlOf(hwnd);
    if (c == nullptr) return DefWindowProcA(hwnd, message, wParam, lParam);
    const ControlId id = static_cast<ControlId>(c - controls_.data());
    switch (message) {
      case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        RECT area{};
        GetClientRect(hwnd, &area);
        Paint(*c, dc, area);
        EndPaint(hwnd, &ps);
        return 0;
      }
      case WM_ERASEBKGND:
        return 1;  // WM_PAINT fills it
      case WM_LBUTTONDOWN:
      case WM_RBUTTONDOWN:
      case WM_MBUTTONDOWN: {
        const int button = ButtonOf(message);
        SetCapture(hwnd);  // the release of a press that began here comes here
        if (button == 1) c->leftPressed = true;
        form_->MouseDown(id, ArgsOf(button, wParam, lParam));
        return 0;
      }
      case WM_LBUTTONUP:
      case WM_RBUTTONUP:
      case WM_MBUTTONUP: {
        const int button = ButtonOf(message);
        if ((wParam & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON)) == 0 && GetCapture() == hwnd) ReleaseCapture();
        RECT area{};
        GetClientRect(hwnd, &area);
        const POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        const bool click = button == 1 && c->leftPressed && PtInRect(&area, at);
        if (button == 1) c->leftPressed = false;
        form_->MouseUp(id, ArgsOf(button, wParam, lParam));
        if (click) form_->Click(id);
        return 0;
      }
      case WM_CAPTURECHANGED:
        c->leftPressed = false;
        return 0;
      default:
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
  }

  LRESULT OnForm(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
      case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED && lParam != 0) {
          const auto id = static_cast<ControlId>(LOWORD(wParam) - kFirstControlId);
          if (id < controls_.size() && controls_[id].hwnd == reinterpret_cast<HWND>(lParam)) form_->Click(id);
        }
        return 0;
      case WM_ACTIVATE:  // give the focus back to the button that had it
        if (LOWORD(wParam) == WA_INACTIVE) {
          lastFocus_ = GetFocus();
        } else if (lastFocus_ != nullptr && IsChild(hwnd, lastFocus_)) {
          SetFocus(lastFocus_);
          return 0;
        }
        break;
      case WM_CLOSE:  // the unload step never cancels
        form_->Unload();
        DestroyWindow(hwnd);
        return 0;
      case WM_DESTROY:
        hwnd_ = nullptr;
        PostQuitMessage(0);
        return 0;
      default:
        break;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
  }

  static Win32Runtime* Self(HWND hwnd, UINT message, LPARAM lParam) {
    if (message == WM_NCCREATE) {
      auto* self = static_cast<Win32Runtime*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
      SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
      return self;
    }
    return reinterpret_cast<Win32Runtime*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  }

  static LRESULT CALLBACK FormProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Win32Runtime* self = Self(hwnd, message, lParam);
    return self != nullptr && self->form_ != nullptr ? self->OnForm(hwnd, message, wParam, lParam)
                                                     : DefWindowProcA(hwnd, message, wParam, lParam);
  }

  static LRESULT CALLBACK ControlProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Win32Runtime* self = Self(hwnd, message, lParam);
    return self != nullptr ? self->OnControl(hwnd, message, wParam, lParam)
                           : DefWindowProcA(hwnd, message, wParam, lParam);
  }

  int dpiX_ = 96, dpiY_ = 96;
  Form* form_ = nullptr;
  HWND hwnd_ = nullptr;
  HWND lastFocus_ = nullptr;
  Colour backColour_ = 0;
  std::vector<Control> controls_;
  GdiBrush background_;
  GdiFont regular_, bold_;
  GdiBitmap logo_, download_;
};

}  // namespace
}  // namespace win32

std::unique_ptr<WindowRuntime> MakePlatformRuntime() { return std::make_unique<win32::Win32Runtime>(); }

}  // namespace vidazoz::runtime
