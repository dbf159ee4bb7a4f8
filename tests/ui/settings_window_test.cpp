// The built library's settings dialog, about box and message box as real
// windows: a host window of its own, the library loaded with LoadLibrary and
// driven through its entry points, the controls operated with the messages a
// user's clicks produce. Runs under Wine on an X display with a non-Russian
// locale, so every Russian text is compared as UTF-16.
//   ui_window_test <library path> <artifacts folder>     (Unix paths)
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "orv_version.h"
#include "resources/resource.h"
#include "tests/plugin/plugin_loader.h"
#include "tests/plugin/synthetic_video.h"
#include "tests/ui/gui_driver.h"

namespace testing_support {
std::string& PluginPath() {
    static std::string path;
    return path;
}
}  // namespace testing_support

namespace {

using testing_support::PluginLibrary;

std::string& ArtifactsFolder() {
    static std::string folder;
    return folder;
}

constexpr int32_t kWidth = 160;
constexpr int32_t kHeight = 120;
constexpr uint32_t kChannelKey = 27;

const wchar_t kSettingsCaption[] = L"ORV_VEDaviror плагин";
const wchar_t kUnavailableText[] =
    L"      Настройки плагина недоступны. \nТребуется процессор Pentium III или старше.";

int32_t KnownChannel(uint32_t, int32_t) { return 1; }

std::wstring ExeFolder() {
    wchar_t buffer[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    std::wstring exe(buffer, n);
    return exe.substr(0, exe.rfind(L'\\') + 1);
}

// The settings file of a host whose executable is this program.
std::wstring SettingsFile() { return ExeFolder() + L"Plugins\\ORV_VEDaviror.ini"; }

void WriteSettingsFile(const char* text) {
    CreateDirectoryW((ExeFolder() + L"Plugins").c_str(), nullptr);
    DeleteFileW(SettingsFile().c_str());
    if (text == nullptr) return;
    FILE* out = _wfopen(SettingsFile().c_str(), L"wb");
    ASSERT_NE(out, nullptr);
    std::fputs(text, out);
    std::fclose(out);
}

int SavedInt(const wchar_t* section, const wchar_t* key) {
    return static_cast<int>(GetPrivateProfileIntW(section, key, -12345, SettingsFile().c_str()));
}

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND CreateHostWindow() {
    static ATOM atom = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = HostProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
        wc.lpszClassName = L"OrvTestHost";
        return RegisterClassW(&wc);
    }();
    if (atom == 0) return nullptr;
    return CreateWindowExW(0, L"OrvTestHost", L"Vantorix test host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 120, 90, 640,
                           480, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

class SettingsWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        host_ = CreateHostWindow();
        ASSERT_NE(host_, nullptr);
        library_ = std::make_unique<PluginLibrary>(testing_support::PluginPath());
        ASSERT_TRUE(library_->loaded()) << testing_support::PluginPath();
        plugin_ = library_->Descriptor();
        ASSERT_NE(plugin_, nullptr);
        channel_.resize(12 + 32, 0);
        ChannelInfo* info = reinterpret_cast<ChannelInfo*>(channel_.data());
        info->keyLow = kChannelKey;
        info->keyHigh = 0;
        std::strcpy(info->name, "Channel 27");
    }

    void TearDown() override {
        if (!closed_ && plugin_ != nullptr) plugin_->Close();
        gui::Pump(50);
        library_.reset();
        if (host_ != nullptr) DestroyWindow(host_);
    }

    // Open with the given settings file (null: none), then start a stream.
    void OpenAndStart(const char* settingsText, int32_t cpuClass = 0) {
        WriteSettingsFile(settingsText);
        OpenParams open{0, &KnownChannel};
        plugin_->Open(&open);
        StreamFormat format{kWidth, kHeight, 0, 0, cpuClass};
        EXPECT_EQ(plugin_->StartStream(&format), 1);
    }

    // One noisy frame of the synthetic scene; returns whether the plug-in
    // changed it. The dialog's refreshes are delivered afterwards.
    bool Frame() {
        testing_support::SyntheticVideo video{kWidth, kHeight, 1000, 1000, 1, 10};
        std::vector<uint8_t> clean, noisy;
        video.Packed(frameIndex_++, clean, noisy);
        output_ = noisy;
        FrameRequest request{};
        request.pixels = output_.data();
        request.channel = reinterpret_cast<ChannelInfo*>(channel_.data());
        EXPECT_EQ(plugin_->ProcessFrame(&request), 1);
        gui::Pump(30);
        input_ = noisy;
        return output_ != noisy;
    }

    void ShowSettings() {
        plugin_->ShowSettings(reinterpret_cast<void* const*>(&host_));
        gui::Pump(100);
    }

    void Close() {
        plugin_->Close();
        closed_ = true;
        gui::Pump(50);
    }

    std::vector<HWND> Dialogs() { return gui::ThreadDialogs(GetCurrentThreadId()); }

    HWND TheDialog() {
        std::vector<HWND> dialogs = Dialogs();
        EXPECT_EQ(dialogs.size(), 1u);
        return dialogs.empty() ? nullptr : dialogs.front();
    }

    HWND Item(int id) { return GetDlgItem(dialog_, id); }
    std::wstring ItemText(int id) { return gui::Text(Item(id)); }
    bool Checked(int id) { return SendMessageW(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }

    // A user's click on a check box or button.
    void Click(int id) {
        SendMessageW(Item(id), BM_CLICK, 0, 0);
        gui::Pump(50);
    }

    // A user's drag of a slider to `position`, ending with the release.
    void Slide(int id, int32_t position) {
        HWND slider = Item(id);
        SendMessageW(slider, TBM_SETPOS, TRUE, position);
        SendMessageW(dialog_, WM_HSCROLL, MAKEWPARAM(TB_THUMBTRACK, position), reinterpret_cast<LPARAM>(slider));
        SendMessageW(dialog_, WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0), reinterpret_cast<LPARAM>(slider));
        gui::Pump(50);
    }

    // Every luma sample of `row` is its input value blended 154/256 of the
    // way toward white, as the demo line leaves an unpacked row.
    bool IsMarkingLine(int32_t row) {
        size_t start = static_cast<size_t>(row) * kWidth * 2;
        for (size_t i = start; i < start + static_cast<size_t>(kWidth) * 2; i += 2) {
            if (output_[i] != input_[i] + (255 - input_[i]) * 154 / 256) return false;
        }
        return true;
    }

    int32_t SliderPosition(int id) { return static_cast<int32_t>(SendMessageW(Item(id), TBM_GETPOS, 0, 0)); }

    HWND host_ = nullptr;
    HWND dialog_ = nullptr;
    std::unique_ptr<PluginLibrary> library_;
    const PluginDescriptor* plugin_ = nullptr;
    std::vector<char> channel_;
    std::vector<uint8_t> input_, output_;
    int frameIndex_ = 0;
    bool closed_ = false;
};

const char kChannelSettings[] =
    "[DIALOG]\r\nDlgWndPosX=-100\r\nDlgWndPosY=-100\r\n[SETTINGS]\r\nCommon=0\r\n";

// A "number with two decimals" as the SNR fields show measurements.
bool IsMeasurement(const std::wstring& text) {
    size_t dot = text.find(L'.');
    if (dot == std::wstring::npos || dot == 0 || text.size() != dot + 3) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (i == dot || (i == 0 && text[i] == L'-')) continue;
        if (text[i] < L'0' || text[i] > L'9') return false;
    }
    return true;
}

TEST_F(SettingsWindowTest, ShowSettingsCreatesOneDialogFromTheTemplate) {
    OpenAndStart(nullptr);
    Frame();
    ShowSettings();
    dialog_ = TheDialog();
    ASSERT_NE(dialog_, nullptr);

    EXPECT_EQ(GetWindow(dialog_, GW_OWNER), host_);
    EXPECT_EQ(gui::Text(dialog_), kSettingsCaption);
    EXPECT_TRUE(GetWindowLongW(dialog_, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
    EXPECT_TRUE(GetWindowLongW(dialog_, GWL_STYLE) & WS_SYSMENU);

    // Never placed: centred on the host window.
    RECT d{}, h{};
    GetWindowRect(dialog_, &d);
    GetWindowRect(host_, &h);
    EXPECT_LE(std::abs((d.left + d.right) - (h.left + h.right)), 2);
    EXPECT_LE(std::abs((d.top + d.bottom) - (h.top + h.bottom)), 2);

    struct Expected {
        int id;
        const wchar_t* className;
        const wchar_t* text;
        RECT units;  // x, y, width, height in dialog units
    };
    const Expected items[] = {
        {IDC_OK_BUTTON, L"Button", L"ОК", {103, 110, 36, 12}},
        {IDC_CANCEL_BUTTON, L"Button", L"Отмена", {145, 110, 36, 12}},
        {IDC_ABOUT_BUTTON, L"Button", L"О плагине", {3, 110, 41, 12}},
        {IDC_SLIDER_Y, L"msctls_trackbar32", nullptr, {62, 44, 79, 11}},
        {IDC_SLIDER_U, L"msctls_trackbar32", nullptr, {62, 58, 79, 11}},
        {IDC_SLIDER_V, L"msctls_trackbar32", nullptr, {62, 71, 79, 11}},
        {IDC_CHANNEL_NAME, L"Static", L"Channel 27", {11, 11, 129, 10}},
        {IDC_THRESHOLD_Y, L"Static", nullptr, {145, 44, 16, 11}},  // set by the first frame
        {IDC_THRESHOLD_U, L"Static", L"10", {145, 58, 16, 11}},
        {IDC_THRESHOLD_V, L"Static", L"10", {145, 71, 16, 11}},
        {IDC_COMMON_CHECK, L"Button", L"Общие настройки для всех каналов", {5, 98, 138, 10}},
        {IDC_MC_CHECK_Y, L"Button", L"", {20, 46, 9, 8}},
        {IDC_MC_CHECK_U, L"Button", L"", {20, 59, 9, 8}},
        {IDC_MC_CHECK_V, L"Button", L"", {20, 72, 9, 8}},
        {IDC_LABEL_Y, L"Static", L"Y:", {10, 46, 8, 8}},
        {IDC_LABEL_U, L"Static", L"U:", {10, 59, 8, 8}},
        {IDC_LABEL_V, L"Static", L"V:", {10, 72, 8, 8}},
        {IDC_ENABLE_CHECK, L"Button", L"Вкл.", {147, 11, 31, 10}},
        {IDC_MV_CHECK, L"Button", L"MV", {59, 112, 27, 10}},
        {IDC_SNR_Y, L"Static", L"0.00", {34, 44, 23, 11}},
        {IDC_SNR_U, L"Static", L"--.--", {34, 58, 23, 11}},
        {IDC_SNR_V, L"Static", L"--.--", {33, 72, 23, 11}},
        {IDC_AUTO_CHECK_Y, L"Button", L"", {165, 46, 10, 8}},
        {IDC_AUTO_CHECK_U, L"Button", L"", {165, 59, 10, 8}},
        {IDC_AUTO_CHECK_V, L"Button", L"", {165, 72, 10, 8}},
        {IDC_DEMO_CHECK, L"Button", L"Demo", {147, 98, 35, 10}},
    };
    for (const Expected& item : items) {
        SCOPED_TRACE(testing::Message() << "control " << item.id);
        HWND control = Item(item.id);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(gui::ClassName(control), item.className);
        if (item.text != nullptr) {
            EXPECT_EQ(gui::Text(control), item.text);
        }
        // The dialog manager converts position and size separately.
        RECT expected{item.units.left, item.units.top, item.units.right, item.units.bottom};
        MapDialogRect(dialog_, &expected);
        RECT actual{};
        GetWindowRect(control, &actual);
        MapWindowPoints(nullptr, dialog_, reinterpret_cast<POINT*>(&actual), 2);
        EXPECT_EQ(actual.left, expected.left);
        EXPECT_EQ(actual.top, expected.top);
        EXPECT_EQ(actual.right - actual.left, expected.right);
        EXPECT_EQ(actual.bottom - actual.top, expected.bottom);
    }
    // The unnamed column headings, in template order.
    std::vector<std::wstring> headings;
    for (HWND child : gui::Children(dialog_)) {
        std::wstring text = gui::Text(child);
        if (GetDlgCtrlID(child) == IDC_STATIC && !text.empty()) headings.push_back(text);
    }
    EXPECT_EQ(headings, (std::vector<std::wstring>{L"SNR", L"MC", L"Порог шума", L"Auto"}));

    EXPECT_FALSE(IsWindowVisible(Item(IDC_MV_CHECK)));
    EXPECT_FALSE(IsWindowEnabled(Item(IDC_MV_CHECK)));
    for (int slider : {IDC_SLIDER_Y, IDC_SLIDER_U, IDC_SLIDER_V}) {
        EXPECT_EQ(SendMessageW(Item(slider), TBM_GETRANGEMIN, 0, 0), 0);
        EXPECT_EQ(SendMessageW(Item(slider), TBM_GETRANGEMAX, 0, 0), 100);
    }
    EXPECT_EQ(ItemText(IDC_THRESHOLD_Y), std::to_wstring(SliderPosition(IDC_SLIDER_Y)));
    EXPECT_EQ(SliderPosition(IDC_SLIDER_U), 10);
    EXPECT_EQ(SliderPosition(IDC_SLIDER_V), 10);
    EXPECT_TRUE(Checked(IDC_ENABLE_CHECK));
    EXPECT_TRUE(Checked(IDC_COMMON_CHECK));  // no file: common settings
    EXPECT_TRUE(Checked(IDC_MC_CHECK_Y));
    EXPECT_FALSE(Checked(IDC_MC_CHECK_U));
    EXPECT_FALSE(IsWindowEnabled(Item(IDC_SLIDER_Y)));  // automatic threshold
    EXPECT_TRUE(IsWindowEnabled(Item(IDC_SLIDER_U)));

    // A second call creates nothing: it focuses and flashes the dialog.
    SetFocus(host_);
    gui::Pump(50);
    DWORD start = GetTickCount();
    plugin_->ShowSettings(reinterpret_cast<void* const*>(&host_));
    DWORD elapsed = GetTickCount() - start;
    gui::Pump(100);
    EXPECT_EQ(Dialogs(), std::vector<HWND>{dialog_});
    HWND focus = GetFocus();
    EXPECT_TRUE(focus == dialog_ || IsChild(dialog_, focus));
    EXPECT_GE(elapsed, 4u * 60u - 20u);  // four caption flashes, 60 ms apart
}

TEST_F(SettingsWindowTest, ControlsChangeWhatTheNextFramesUse) {
    OpenAndStart(kChannelSettings);
    Frame();  // the first frame has nothing to be filtered against
    EXPECT_TRUE(Frame());
    ShowSettings();
    dialog_ = TheDialog();
    ASSERT_NE(dialog_, nullptr);
    EXPECT_FALSE(Checked(IDC_COMMON_CHECK));

    Click(IDC_ENABLE_CHECK);  // processing off: frames pass untouched
    EXPECT_FALSE(Checked(IDC_ENABLE_CHECK));
    EXPECT_FALSE(IsWindowEnabled(Item(IDC_SLIDER_U)));
    EXPECT_FALSE(Frame());
    Click(IDC_ENABLE_CHECK);
    EXPECT_TRUE(Frame());

    Click(IDC_AUTO_CHECK_Y);  // Y's threshold becomes the user's
    EXPECT_TRUE(IsWindowEnabled(Item(IDC_SLIDER_Y)));
    Slide(IDC_SLIDER_Y, 37);
    EXPECT_EQ(ItemText(IDC_THRESHOLD_Y), L"37");
    Click(IDC_MC_CHECK_U);
    EXPECT_TRUE(IsWindowEnabled(Item(IDC_AUTO_CHECK_U)));
    Click(IDC_AUTO_CHECK_V);
    Slide(IDC_SLIDER_V, 0);
    EXPECT_EQ(ItemText(IDC_THRESHOLD_V), L"0");

    // Demo: only the upper half is packed back; row height/2 keeps its input
    // under the semi-transparent marking line, the rows below keep the input.
    Click(IDC_DEMO_CHECK);
    Frame();
    const int32_t line = kHeight / 2;
    EXPECT_TRUE(IsMarkingLine(line));
    const size_t row = static_cast<size_t>(kWidth) * 2;
    EXPECT_TRUE(std::equal(output_.begin() + static_cast<ptrdiff_t>(row * (line + 1)), output_.end(),
                           input_.begin() + static_cast<ptrdiff_t>(row * (line + 1))));

    Click(IDC_OK_BUTTON);
    EXPECT_FALSE(IsWindow(dialog_));
    EXPECT_TRUE(Dialogs().empty());
    Frame();  // closing the dialog ended demo mode
    EXPECT_FALSE(IsMarkingLine(line));

    Close();
    EXPECT_EQ(SavedInt(L"27", L"ProcEnable"), 1);
    EXPECT_EQ(SavedInt(L"27", L"Y_AutoThreshold"), 0);
    EXPECT_EQ(SavedInt(L"27", L"Y_Threshold"), 37);
    EXPECT_EQ(SavedInt(L"27", L"U_MEEnable"), 1);
    EXPECT_EQ(SavedInt(L"27", L"V_AutoThreshold"), 0);
    EXPECT_EQ(SavedInt(L"27", L"V_Threshold"), 0);
    EXPECT_EQ(SavedInt(L"COMMON", L"Y_Threshold"), 10);
}

TEST_F(SettingsWindowTest, MeasurementsShowAndTheAutomaticThresholdMovesTheSlider) {
    OpenAndStart(nullptr);
    Frame();
    ShowSettings();
    dialog_ = TheDialog();
    ASSERT_NE(dialog_, nullptr);
    Click(IDC_MC_CHECK_U);
    for (int i = 0; i < 6; ++i) Frame();
    gui::Pump(200);

    std::wstring snrY = ItemText(IDC_SNR_Y), snrU = ItemText(IDC_SNR_U);
    EXPECT_TRUE(IsMeasurement(snrY)) << "Y SNR text";
    EXPECT_TRUE(IsMeasurement(snrU)) << "U SNR text";
    EXPECT_EQ(ItemText(IDC_SNR_V), L"--.--");

    // Slider and number follow the threshold the pipeline measured.
    int32_t automatic = SliderPosition(IDC_SLIDER_Y);
    EXPECT_EQ(ItemText(IDC_THRESHOLD_Y), std::to_wstring(automatic));
    EXPECT_FALSE(IsWindowEnabled(Item(IDC_SLIDER_Y)));
    int32_t automaticU = SliderPosition(IDC_SLIDER_U);
    EXPECT_EQ(ItemText(IDC_THRESHOLD_U), std::to_wstring(automaticU));
    EXPECT_FALSE(IsWindowEnabled(Item(IDC_SLIDER_U)));

    std::string png = ArtifactsFolder() + "/settings-dialog.png";
    DeleteFileW(gui::WindowsPath(png).c_str());
    EXPECT_TRUE(gui::CaptureWindow(dialog_, png, true)) << png;

    // Close with the dialog open: the window goes first, so its position
    // and the edits are saved.
    RECT r{};
    GetWindowRect(dialog_, &r);
    Close();
    EXPECT_FALSE(IsWindow(dialog_));
    EXPECT_EQ(SavedInt(L"DIALOG", L"DlgWndPosX"), r.left);
    EXPECT_EQ(SavedInt(L"DIALOG", L"DlgWndPosY"), r.top);
    EXPECT_EQ(SavedInt(L"COMMON", L"Y_Threshold"), automatic);
    EXPECT_EQ(SavedInt(L"COMMON", L"U_Threshold"), automaticU);
    EXPECT_EQ(SavedInt(L"COMMON", L"U_MEEnable"), 1);
}

TEST_F(SettingsWindowTest, CancelRestoresAndKeepsTheCommonSwitch) {
    OpenAndStart(kChannelSettings);
    Frame();
    ShowSettings();
    dialog_ = TheDialog();
    ASSERT_NE(dialog_, nullptr);

    // The snapshot holds the threshold the first frame set automatically.
    const int snapshotThreshold = _wtoi(ItemText(IDC_THRESHOLD_Y).c_str());
    Click(IDC_AUTO_CHECK_Y);
    Slide(IDC_SLIDER_Y, 55);
    Click(IDC_ENABLE_CHECK);
    EXPECT_FALSE(Frame());
    Click(IDC_COMMON_CHECK);  // switch to the common record
    EXPECT_TRUE(Checked(IDC_ENABLE_CHECK));
    Click(IDC_MC_CHECK_Y);

    Click(IDC_CANCEL_BUTTON);
    gui::Pump(100);
    EXPECT_FALSE(IsWindow(dialog_));
    EXPECT_TRUE(Frame());  // processing is on again

    Close();
    EXPECT_EQ(SavedInt(L"SETTINGS", L"Common"), 1);
    for (const wchar_t* section : {L"27", L"COMMON"}) {
        SCOPED_TRACE(testing::Message() << "section " << section);
        EXPECT_EQ(SavedInt(section, L"ProcEnable"), 1);
        EXPECT_EQ(SavedInt(section, L"Y_MEEnable"), 1);
        EXPECT_EQ(SavedInt(section, L"Y_AutoThreshold"), 1);
    }
    EXPECT_EQ(SavedInt(L"27", L"Y_Threshold"), snapshotThreshold);
}

TEST_F(SettingsWindowTest, StoredPositionIsUsedAsItIs) {
    OpenAndStart("[DIALOG]\r\nDlgWndPosX=-50\r\nDlgWndPosY=10\r\n");
    ShowSettings();
    dialog_ = TheDialog();
    ASSERT_NE(dialog_, nullptr);
    RECT r{};
    GetWindowRect(dialog_, &r);
    EXPECT_EQ(r.left, -50);
    EXPECT_EQ(r.top, 10);

    SetWindowPos(dialog_, nullptr, 312, 204, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    Click(IDC_OK_BUTTON);
    Close();
    EXPECT_EQ(SavedInt(L"DIALOG", L"DlgWndPosX"), 312);
    EXPECT_EQ(SavedInt(L"DIALOG", L"DlgWndPosY"), 204);
}

// What a watcher thread saw of the about box before closing it with a key.
struct AboutSeen {
    bool found = false;
    std::wstring caption, button, version, name;
    bool hasSystemMenu = true;
    SIZE logo{};
    bool captured = false;
};

void CloseAboutWithKey(DWORD uiThread, HWND settings, WPARAM key, const std::string& png, AboutSeen& seen) {
    HWND about = gui::WaitForDialog(
        uiThread, [&](HWND w) { return w != settings && GetWindow(w, GW_OWNER) == settings; }, 60000);
    if (about == nullptr) return;
    seen.found = true;
    Sleep(300);  // let it paint
    seen.caption = gui::Text(about);
    seen.hasSystemMenu = (GetWindowLongW(about, GWL_STYLE) & WS_SYSMENU) != 0;
    seen.button = gui::Text(GetDlgItem(about, IDOK));
    for (HWND child : gui::Children(about)) {
        std::wstring text = gui::Text(child);
        if (text == L"" ORV_ABOUT_VERSION) seen.version = text;
        if (text.rfind(L"ORV_VEDaviror", 0) == 0) seen.name = text;
        auto bitmap = reinterpret_cast<HBITMAP>(SendMessageW(child, STM_GETIMAGE, IMAGE_BITMAP, 0));
        BITMAP info{};
        if (gui::ClassName(child) == L"Static" && bitmap != nullptr && GetObjectW(bitmap, sizeof info, &info)) {
            seen.logo = SIZE{info.bmWidth, info.bmHeight};
        }
    }
    if (!png.empty()) {
        DeleteFileW(gui::WindowsPath(png).c_str());
        seen.captured = gui::CaptureWindow(about, png, false);
    }
    // The dialog manager turns the key into OK (Enter) or Cancel (Escape).
    PostMessageW(GetDlgItem(about, IDOK), WM_KEYDOWN, key, 0);
    PostMessageW(GetDlgItem(about, IDOK), WM_KEYUP, key, 0);
}

TEST_F(SettingsWindowTest, EnterAndEscapeCloseTheAboutBoxButNotTheDialog) {
    OpenAndStart(nullptr);
    ShowSettings();
    dialog_ = TheDialog();
    ASSERT_NE(dialog_, nullptr);

    // In the settings dialog the two keys do nothing.
    for (WPARAM key : {VK_RETURN, VK_ESCAPE}) {
        SetFocus(Item(IDC_COMMON_CHECK));
        PostMessageW(Item(IDC_COMMON_CHECK), WM_KEYDOWN, key, 0);
        PostMessageW(Item(IDC_COMMON_CHECK), WM_KEYUP, key, 0);
        gui::Pump(150);
        EXPECT_TRUE(IsWindowVisible(dialog_)) << "key " << key;
        EXPECT_TRUE(Checked(IDC_COMMON_CHECK));
    }

    const WPARAM keys[] = {VK_RETURN, VK_ESCAPE};
    for (WPARAM key : keys) {
        SCOPED_TRACE(testing::Message() << "key " << key);
        AboutSeen seen;
        std::string png = key == VK_RETURN ? ArtifactsFolder() + "/about-box.png" : std::string();
        std::thread watcher(CloseAboutWithKey, GetCurrentThreadId(), dialog_, key, png, std::ref(seen));
        DWORD start = GetTickCount();
        Click(IDC_ABOUT_BUTTON);  // returns when the modal box is closed
        watcher.join();
        EXPECT_LT(GetTickCount() - start, 60000u);
        ASSERT_TRUE(seen.found);
        EXPECT_EQ(seen.caption, L"");
        EXPECT_FALSE(seen.hasSystemMenu);
        EXPECT_EQ(seen.button, L"OK");
        EXPECT_EQ(seen.version, L"" ORV_ABOUT_VERSION);
        EXPECT_EQ(seen.name, L"ORV_VEDaviror плагин");
        EXPECT_EQ(seen.logo.cx, 32);
        EXPECT_EQ(seen.logo.cy, 32);
        if (!png.empty()) {
            EXPECT_TRUE(seen.captured) << png;
        }
        EXPECT_EQ(Dialogs(), std::vector<HWND>{dialog_});
    }
}

struct MessageSeen {
    bool found = false;
    std::wstring caption;
    std::vector<std::wstring> texts;
};

void CloseMessageBox(DWORD uiThread, MessageSeen& seen) {
    HWND box = gui::WaitForDialog(uiThread, [](HWND) { return true; }, 60000);
    if (box == nullptr) return;
    seen.found = true;
    seen.caption = gui::Text(box);
    for (HWND child : gui::Children(box)) {
        if (gui::ClassName(child) == L"Static" && gui::Text(child).size() > 0) seen.texts.push_back(gui::Text(child));
    }
    PostMessageW(box, WM_COMMAND, IDOK, 0);
}

TEST_F(SettingsWindowTest, OldProcessorGetsTheMessageInsteadOfTheDialog) {
    OpenAndStart(nullptr, 2);
    MessageSeen seen;
    std::thread watcher(CloseMessageBox, GetCurrentThreadId(), std::ref(seen));
    plugin_->ShowSettings(reinterpret_cast<void* const*>(&host_));  // modal until closed
    watcher.join();
    gui::Pump(100);
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.caption, L"ORV_VEDaviror");
    EXPECT_EQ(seen.texts, std::vector<std::wstring>{kUnavailableText});
    EXPECT_TRUE(Dialogs().empty());  // and no settings dialog
}

// Reports results like the default printer, without its OutputDebugString
// calls: under Wine on CPU emulation those bring the process down.
class PlainPrinter : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo& test) override {
        std::printf("[ RUN      ] %s.%s\n", test.test_suite_name(), test.name());
        std::fflush(stdout);
    }
    void OnTestPartResult(const ::testing::TestPartResult& result) override {
        if (result.type() == ::testing::TestPartResult::kSuccess) return;
        std::printf("%s:%d: Failure\n%s\n", result.file_name() != nullptr ? result.file_name() : "?",
                    result.line_number(), result.message());
        std::fflush(stdout);
    }
    void OnTestEnd(const ::testing::TestInfo& test) override {
        std::printf("[ %s ] %s.%s (%lld ms)\n", test.result()->Passed() ? "      OK" : " FAILED ", test.test_suite_name(),
                    test.name(), static_cast<long long>(test.result()->elapsed_time()));
        std::fflush(stdout);
    }
    void OnTestProgramEnd(const ::testing::UnitTest& unit) override {
        std::printf("[==========] %d tests, %d passed, %d failed\n", unit.test_to_run_count(),
                    unit.successful_test_count(), unit.failed_test_count());
        std::fflush(stdout);
    }
};

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc > 1) testing_support::PluginPath() = argv[1];
    if (argc > 2) {
        ArtifactsFolder() = argv[2];
        CreateDirectoryW(gui::WindowsPath(argv[2]).c_str(), nullptr);
    }
    ::testing::TestEventListeners& listeners = ::testing::UnitTest::GetInstance()->listeners();
    delete listeners.Release(listeners.default_result_printer());
    listeners.Append(new PlainPrinter);
    return RUN_ALL_TESTS();
}
