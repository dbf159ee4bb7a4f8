// The settings dialog's handlers against an in-memory model of its window:
// what they show, enable, store and post.
#include "ui/settings_dialog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>

#include "resources/resource.h"

namespace {

using settings::SettingsRecord;
using ui::ScreenPoint;
using ui::ScreenRect;

struct Control {
    int32_t check = 0;
    std::string text;
    bool enabled = true;
    int32_t position = 0;
    int32_t minimum = -1;
    int32_t maximum = -1;
    int32_t ticFrequency = 0;
};

// A dialog window as the handlers see it. Posted messages wait in a queue
// until Pump() delivers them, as a message loop would.
class FakeWindow final : public ui::DialogControls {
public:
    std::map<int, Control> controls;
    std::set<int> enableTouched;
    std::deque<std::pair<int32_t, intptr_t>> posted;
    bool closeRequested = false;
    bool destroyed = false;
    int aboutRuns = 0;
    int inversions = 0;
    ScreenRect window{0, 0, 300, 220};
    ScreenRect owner{100, 50, 741, 531};
    int32_t screenWidth = 1024;
    int32_t screenHeight = 768;
    ui::SettingsDialog* dialog = nullptr;

    void SetCheck(int id, int32_t state) override { controls[id].check = state; }
    int32_t GetCheck(int id) override { return controls[id].check; }
    void SetText(int id, const char* text) override { controls[id].text = text; }
    void Enable(int id, bool enabled) override {
        controls[id].enabled = enabled;
        enableTouched.insert(id);
    }
    void SetSliderRange(int id, int32_t minimum, int32_t maximum) override {
        controls[id].minimum = minimum;
        controls[id].maximum = maximum;
    }
    void SetSliderTicFrequency(int id, int32_t frequency) override { controls[id].ticFrequency = frequency; }
    void SetSliderPosition(int id, int32_t position) override { controls[id].position = position; }
    int32_t GetSliderPosition(int id) override { return controls[id].position; }
    ScreenRect WindowRect() override { return window; }
    ScreenRect OwnerRect() override { return owner; }
    int32_t ScreenWidth() override { return screenWidth; }
    int32_t ScreenHeight() override { return screenHeight; }
    void MoveWindowTo(int32_t x, int32_t y) override {
        window = ScreenRect{x, y, x + window.right - window.left, y + window.bottom - window.top};
    }
    void PostUpdate(int32_t code, intptr_t lParam) override { posted.emplace_back(code, lParam); }
    void PostCloseRequest() override { closeRequested = true; }
    void DestroyWindow() override {
        destroyed = true;
        dialog->OnDestroy();  // WM_DESTROY arrives while the window is destroyed
    }
    void RunAboutBox() override { ++aboutRuns; }
    void InvertCaption() override { ++inversions; }

    void Pump() {
        while (!destroyed && (!posted.empty() || closeRequested)) {
            if (!posted.empty()) {
                auto [code, lParam] = posted.front();
                posted.pop_front();
                EXPECT_EQ(dialog->OnSettingsUpdate(code, lParam), 1);
            } else {
                closeRequested = false;
                dialog->OnClose();
            }
        }
    }
    // An automatic check box toggles itself, then notifies its dialog.
    void Click(int id) {
        controls[id].check = controls[id].check == 0 ? 1 : 0;
        dialog->OnCommand(id, ui::kButtonClicked);
    }
    void MoveSlider(int id, int32_t position) {
        controls[id].position = position;
        dialog->OnHScroll(id);
    }
};

constexpr uint64_t kChannel = 27;

class SettingsDialogTest : public ::testing::Test {
protected:
    platform::Lock lock;
    settings::SettingsStore store;
    std::atomic<int32_t> demoMode{0};
    std::atomic<int32_t> mvFlag{0};
    char channelName[256] = "Channel 27";
    FakeWindow window;
    ui::SettingsDialog dialog{ui::DialogShared{lock, store, demoMode, mvFlag, channelName}, window};

    void SetUp() override {
        window.dialog = &dialog;
        store.LoadDefaults();  // table defaults, Common 1, position (-100, -100)
        store.SetCommon(0);
        store.SelectChannel(static_cast<uint32_t>(kChannel), 0);
    }
    void Open() {
        EXPECT_TRUE(dialog.OnInitDialog());
        window.Pump();
    }
    const Control& At(int id) { return window.controls[id]; }
    const SettingsRecord& Record(uint64_t key) {
        for (const SettingsRecord& r : store.records) {
            if (r.ChannelKey() == static_cast<int64_t>(key)) return r;
        }
        ADD_FAILURE() << "no record for channel " << key;
        return store.records[0];
    }
};

// Opening shows every value of the record in force, with Y measured (motion
// compensation on by default) and U, V without a measurement.
TEST_F(SettingsDialogTest, OpeningShowsTheRecordInForce) {
    Open();
    for (int slider : {IDC_SLIDER_Y, IDC_SLIDER_U, IDC_SLIDER_V}) {
        EXPECT_EQ(At(slider).minimum, 0);
        EXPECT_EQ(At(slider).maximum, 100);
        EXPECT_EQ(At(slider).ticFrequency, 5);
        EXPECT_EQ(At(slider).position, 10);
    }
    for (int text : {IDC_THRESHOLD_Y, IDC_THRESHOLD_U, IDC_THRESHOLD_V}) EXPECT_EQ(At(text).text, "10");
    EXPECT_EQ(At(IDC_CHANNEL_NAME).text, "Channel 27");
    EXPECT_EQ(At(IDC_SNR_Y).text, "0.00");
    EXPECT_EQ(At(IDC_SNR_U).text, "--.--");
    EXPECT_EQ(At(IDC_SNR_V).text, "--.--");

    const std::pair<int, int32_t> checks[] = {
        {IDC_MC_CHECK_Y, 1},   {IDC_MC_CHECK_U, 0},   {IDC_MC_CHECK_V, 0},   {IDC_AUTO_CHECK_Y, 1},
        {IDC_AUTO_CHECK_U, 1}, {IDC_AUTO_CHECK_V, 1}, {IDC_ENABLE_CHECK, 1}, {IDC_COMMON_CHECK, 0},
        {IDC_DEMO_CHECK, 0},   {IDC_MV_CHECK, 0},
    };
    for (auto [id, state] : checks) EXPECT_EQ(At(id).check, state) << "control " << id;

    EXPECT_FALSE(At(IDC_SLIDER_Y).enabled);  // Y's threshold is automatic
    EXPECT_TRUE(At(IDC_SLIDER_U).enabled);
    EXPECT_FALSE(At(IDC_AUTO_CHECK_U).enabled);
    EXPECT_TRUE(window.posted.empty());
}

TEST_F(SettingsDialogTest, OpeningPlacesTheWindow) {
    struct Case {
        ScreenPoint stored;
        ScreenPoint expected;
    };
    // Dialog 300 x 220, host window (100, 50)-(741, 531), screen 1024 x 768.
    const Case cases[] = {
        {{-100, -100}, {270, 180}},  // never placed: centred on the host (truncated halves)
        {{1024, 10}, {270, 180}},    // left edge at the screen's width
        {{10, 768}, {270, 180}},     // top edge at the screen's height
        {{-50, 10}, {-50, 10}},      // partly off screen: used unchanged
        {{1023, 767}, {1023, 767}},
        {{-100, 5}, {-100, 5}},  // only both at -100 mean "never placed"
    };
    for (const Case& c : cases) {
        window.window = ScreenRect{0, 0, 300, 220};
        store.SetDialogPosition(c.stored.x, c.stored.y);
        dialog.OnInitDialog();
        EXPECT_EQ(window.window.left, c.expected.x) << "stored " << c.stored.x << "," << c.stored.y;
        EXPECT_EQ(window.window.top, c.expected.y) << "stored " << c.stored.x << "," << c.stored.y;
    }
}

TEST(PlaceDialog, CentresOnTheHostAndKeepsOnScreen) {
    struct Case {
        ScreenRect dialog;
        ScreenRect host;
        ScreenPoint expected;
    };
    const Case cases[] = {
        // A host near the right and bottom edges pulls the dialog back in.
        {{0, 0, 300, 220}, {900, 700, 1100, 900}, {724, 548}},
        // A host off the top-left pushes it to 0.
        {{0, 0, 300, 220}, {-400, -300, -100, -100}, {0, 0}},
        // The computation starts from the dialog's current place; odd sums
        // truncate toward zero.
        {{10, 20, 311, 241}, {0, 0, 101, 51}, {0, 0}},
        {{10, 20, 311, 241}, {200, 100, 601, 451}, {250, 165}},
        // Larger than the screen: the left and top edges win.
        {{0, 0, 1200, 900}, {0, 0, 640, 480}, {0, 0}},
    };
    for (const Case& c : cases) {
        ScreenPoint at = ui::PlaceDialog({-100, -100}, 1024, 768, c.dialog, c.host);
        EXPECT_EQ(at.x, c.expected.x);
        EXPECT_EQ(at.y, c.expected.y);
    }
}

// The enabling rules for every combination of "Вкл." (P), a plane's "MC" (M)
// and its "Auto" (A).
TEST_F(SettingsDialogTest, EnablingFollowsProcessingMotionAndAuto) {
    Open();
    for (int p = 0; p < 2; ++p) {
        for (int m = 0; m < 2; ++m) {
            for (int a = 0; a < 2; ++a) {
                SCOPED_TRACE(testing::Message() << "P=" << p << " M=" << m << " A=" << a);
                store.live.ProcEnable = p;
                store.live.Y_MEEnable = m;
                store.live.Y_AutoThreshold = a;
                store.live.U_MEEnable = 1;  // U keeps its measurement while P is on
                dialog.OnSettingsUpdate(8, 1234);
                dialog.OnSettingsUpdate(9, 567);
                window.enableTouched.clear();
                dialog.OnSettingsUpdate(11, 0);

                EXPECT_EQ(At(IDC_SNR_Y).text, p && m ? "12.34" : "--.--");
                EXPECT_EQ(At(IDC_SNR_U).text, p ? "5.67" : "--.--");
                EXPECT_EQ(At(IDC_SNR_V).text, "--.--");  // V's motion compensation is off
                EXPECT_EQ(At(IDC_MC_CHECK_Y).enabled, p == 1);
                EXPECT_EQ(At(IDC_SNR_Y).enabled, p == 1);
                EXPECT_EQ(At(IDC_THRESHOLD_Y).enabled, p == 1);
                EXPECT_EQ(At(IDC_AUTO_CHECK_Y).enabled, p && m);
                EXPECT_EQ(At(IDC_SLIDER_Y).enabled, p && !(m && a));
                EXPECT_EQ(At(IDC_DEMO_CHECK).enabled, p == 1);
                // The check states themselves are left alone.
                EXPECT_EQ(At(IDC_AUTO_CHECK_Y).check, 1);

                for (int never : {IDC_ENABLE_CHECK, IDC_COMMON_CHECK, IDC_MV_CHECK, IDC_LABEL_Y, IDC_LABEL_U,
                                  IDC_LABEL_V, IDC_CHANNEL_NAME, IDC_OK_BUTTON, IDC_CANCEL_BUTTON,
                                  IDC_ABOUT_BUTTON}) {
                    EXPECT_EQ(window.enableTouched.count(never), 0u) << "control " << never;
                }
            }
        }
    }
}

TEST_F(SettingsDialogTest, SnrTextsShowHundredthsWithTwoDecimals) {
    Open();
    struct Case {
        int32_t code;
        intptr_t lParam;
        int id;
        const char* text;
    };
    const Case cases[] = {
        {8, 2345, IDC_SNR_Y, "23.45"}, {8, 0, IDC_SNR_Y, "0.00"},       {8, -150, IDC_SNR_Y, "-1.50"},
        {9, 1, IDC_SNR_U, "0.01"},     {10, 99999, IDC_SNR_V, "999.99"}, {10, -1, IDC_SNR_V, "-0.01"},
        // lParam is read as a signed 32-bit number.
        {8, static_cast<intptr_t>(INT32_MIN), IDC_SNR_Y, "-21474836.48"},
    };
    for (const Case& c : cases) {
        dialog.OnSettingsUpdate(c.code, c.lParam);
        EXPECT_EQ(At(c.id).text, c.text) << "lParam " << c.lParam;
    }
    // A code touches only its own plane.
    dialog.OnSettingsUpdate(8, 4200);
    EXPECT_EQ(At(IDC_SNR_U).text, "0.01");
}

TEST_F(SettingsDialogTest, PipelineUpdatesMoveSliderAndNumberSeparately) {
    Open();
    {
        platform::LockGuard guard(lock);
        store.live.U_Threshold = 55;  // as the automatic threshold does
    }
    window.enableTouched.clear();
    dialog.OnSettingsUpdate(3, 0);
    EXPECT_EQ(At(IDC_SLIDER_U).position, 55);
    EXPECT_EQ(At(IDC_THRESHOLD_U).text, "10");
    dialog.OnSettingsUpdate(6, 0);
    EXPECT_EQ(At(IDC_THRESHOLD_U).text, "55");
    EXPECT_EQ(At(IDC_SLIDER_Y).position, 10);
    EXPECT_TRUE(window.enableTouched.empty());

    std::snprintf(channelName, sizeof channelName, "Other");
    dialog.OnSettingsUpdate(1, 0);
    EXPECT_EQ(At(IDC_CHANNEL_NAME).text, "Other");
}

TEST_F(SettingsDialogTest, SliderStoresAndPostsOnlyOnChange) {
    Open();
    window.MoveSlider(IDC_SLIDER_Y, 37);
    EXPECT_EQ(store.live.Y_Threshold, 37);
    ASSERT_EQ(window.posted.size(), 1u);
    EXPECT_EQ(window.posted.front(), (std::pair<int32_t, intptr_t>{5, 0}));
    window.Pump();
    EXPECT_EQ(At(IDC_THRESHOLD_Y).text, "37");

    window.MoveSlider(IDC_SLIDER_Y, 37);  // released where it already was
    EXPECT_TRUE(window.posted.empty());

    window.MoveSlider(IDC_SLIDER_V, 0);
    EXPECT_EQ(store.live.V_Threshold, 0);
    EXPECT_EQ(store.live.U_Threshold, 10);
    ASSERT_EQ(window.posted.size(), 1u);
    EXPECT_EQ(window.posted.front().first, 7);
    window.Pump();

    dialog.OnHScroll(0);  // a scroll bar without a control id
    dialog.OnHScroll(IDC_THRESHOLD_U);
    EXPECT_TRUE(window.posted.empty());
}

TEST_F(SettingsDialogTest, CheckBoxesStoreTheirStateAndPost) {
    Open();
    struct Case {
        int id;
        std::function<int32_t()> value;
        bool postsEnabling;
    };
    const Case cases[] = {
        {IDC_MC_CHECK_U, [&] { return static_cast<int32_t>(store.live.U_MEEnable); }, true},
        {IDC_MC_CHECK_V, [&] { return static_cast<int32_t>(store.live.V_MEEnable); }, true},
        {IDC_AUTO_CHECK_Y, [&] { return static_cast<int32_t>(store.live.Y_AutoThreshold); }, true},
        {IDC_AUTO_CHECK_U, [&] { return static_cast<int32_t>(store.live.U_AutoThreshold); }, true},
        {IDC_AUTO_CHECK_V, [&] { return static_cast<int32_t>(store.live.V_AutoThreshold); }, true},
        {IDC_MC_CHECK_Y, [&] { return static_cast<int32_t>(store.live.Y_MEEnable); }, true},
        {IDC_ENABLE_CHECK, [&] { return static_cast<int32_t>(store.live.ProcEnable); }, true},
        {IDC_DEMO_CHECK, [&] { return demoMode.load(); }, false},
        {IDC_MV_CHECK, [&] { return mvFlag.load(); }, false},
    };
    for (const Case& c : cases) {
        for (int round = 0; round < 2; ++round) {
            window.Click(c.id);
            EXPECT_EQ(c.value(), At(c.id).check) << "control " << c.id;
            if (c.postsEnabling) {
                ASSERT_EQ(window.posted.size(), 1u) << "control " << c.id;
                EXPECT_EQ(window.posted.front(), (std::pair<int32_t, intptr_t>{11, 0}));
            } else {
                EXPECT_TRUE(window.posted.empty()) << "control " << c.id;
            }
            window.Pump();
        }
    }
    // Other notifications than a click change nothing.
    EXPECT_FALSE(dialog.OnCommand(IDC_ENABLE_CHECK, 6));
    window.controls[IDC_ENABLE_CHECK].check = 0;
    EXPECT_FALSE(dialog.OnCommand(IDC_ENABLE_CHECK, 5));
    EXPECT_EQ(store.live.ProcEnable, 1u);
}

TEST_F(SettingsDialogTest, ProcessingOffDisablesThePlaneControls) {
    store.live.U_MEEnable = 1;
    Open();
    dialog.OnSettingsUpdate(9, 1500);
    window.Click(IDC_ENABLE_CHECK);
    window.Pump();
    EXPECT_EQ(store.live.ProcEnable, 0u);
    for (int id : {IDC_MC_CHECK_Y, IDC_MC_CHECK_U, IDC_MC_CHECK_V, IDC_AUTO_CHECK_Y, IDC_AUTO_CHECK_U,
                   IDC_AUTO_CHECK_V, IDC_SLIDER_Y, IDC_SLIDER_U, IDC_SLIDER_V, IDC_THRESHOLD_Y, IDC_THRESHOLD_U,
                   IDC_THRESHOLD_V, IDC_SNR_Y, IDC_SNR_U, IDC_SNR_V, IDC_DEMO_CHECK}) {
        EXPECT_FALSE(At(id).enabled) << "control " << id;
    }
    for (int id : {IDC_SNR_Y, IDC_SNR_U, IDC_SNR_V}) EXPECT_EQ(At(id).text, "--.--");

    // Unchecking "MC" with processing on frees the slider and locks "Auto".
    window.Click(IDC_ENABLE_CHECK);
    window.Click(IDC_MC_CHECK_Y);
    window.Pump();
    EXPECT_TRUE(At(IDC_SLIDER_Y).enabled);
    EXPECT_FALSE(At(IDC_AUTO_CHECK_Y).enabled);
    EXPECT_EQ(At(IDC_AUTO_CHECK_Y).check, 1);
    EXPECT_EQ(At(IDC_SNR_Y).text, "--.--");
}

TEST_F(SettingsDialogTest, CommonSwitchFetchesTheCommonRecordAndRefreshes) {
    store.records[0].Y_Threshold = 70;
    store.records[0].ProcEnable = 0;
    Open();
    window.Click(IDC_COMMON_CHECK);
    EXPECT_EQ(store.Common, 1);
    EXPECT_EQ(store.live.Y_Threshold, 70);
    ASSERT_EQ(window.posted.size(), 1u);
    EXPECT_EQ(window.posted.front().first, 0);
    window.Pump();
    EXPECT_EQ(At(IDC_SLIDER_Y).position, 70);
    EXPECT_EQ(At(IDC_ENABLE_CHECK).check, 0);
    EXPECT_FALSE(At(IDC_SLIDER_Y).enabled);
}

// "Отмена" returns every record to the state it had when the dialog opened,
// also a channel first seen meanwhile; the common switch stays as it was set.
TEST_F(SettingsDialogTest, CancelRestoresEveryChannelAndKeepsCommon) {
    Open();
    window.MoveSlider(IDC_SLIDER_U, 44);
    window.Click(IDC_MC_CHECK_V);
    window.Click(IDC_DEMO_CHECK);
    window.Pump();
    {
        platform::LockGuard guard(lock);
        store.SelectChannel(99, 0);  // the pipeline meets a new channel
        store.live.Y_Threshold = 90;
    }
    window.Click(IDC_COMMON_CHECK);  // the channel's edits go into its record
    window.MoveSlider(IDC_SLIDER_V, 3);
    window.Pump();

    dialog.OnCommand(IDC_CANCEL_BUTTON, ui::kButtonClicked);
    EXPECT_FALSE(window.destroyed);  // the close request is posted, not run
    window.Pump();

    EXPECT_TRUE(window.destroyed);
    EXPECT_EQ(store.Common, 1);
    const SettingsRecord defaults = settings::DefaultRecord();
    for (uint64_t key : {uint64_t{0}, kChannel, uint64_t{99}}) {
        const SettingsRecord& r = Record(key);
        EXPECT_EQ(r.U_Threshold, defaults.U_Threshold) << "channel " << key;
        EXPECT_EQ(r.V_Threshold, defaults.V_Threshold) << "channel " << key;
        EXPECT_EQ(r.V_MEEnable, defaults.V_MEEnable) << "channel " << key;
        EXPECT_EQ(r.Y_Threshold, defaults.Y_Threshold) << "channel " << key;
    }
    EXPECT_EQ(store.live.ChannelKey(), 0);  // fetched under the switch as it is now
    EXPECT_EQ(store.live.V_Threshold, defaults.V_Threshold);
    EXPECT_EQ(demoMode.load(), 0);
}

TEST_F(SettingsDialogTest, OkKeepsTheEdits) {
    Open();
    window.MoveSlider(IDC_SLIDER_U, 44);
    window.Click(IDC_AUTO_CHECK_V);
    window.Click(IDC_DEMO_CHECK);
    window.Pump();
    EXPECT_EQ(demoMode.load(), 1);

    dialog.OnCommand(IDC_OK_BUTTON, ui::kButtonClicked);
    EXPECT_TRUE(window.destroyed);
    EXPECT_EQ(store.live.U_Threshold, 44);
    EXPECT_EQ(store.live.V_AutoThreshold, 0u);
    store.StoreLive();
    EXPECT_EQ(Record(kChannel).U_Threshold, 44);
    EXPECT_EQ(demoMode.load(), 0);  // closing ends demo mode
}

TEST_F(SettingsDialogTest, CloseBoxRestoresLikeCancel) {
    Open();
    window.MoveSlider(IDC_SLIDER_U, 44);
    window.Pump();
    dialog.OnClose();
    EXPECT_TRUE(window.destroyed);
    EXPECT_EQ(store.live.U_Threshold, 10);
}

TEST_F(SettingsDialogTest, DestructionStoresThePosition) {
    store.SetDialogPosition(-50, 10);
    Open();
    window.MoveWindowTo(312, 204);  // the user moves the dialog
    window.DestroyWindow();         // the Close entry point: no restore
    int32_t x = 0, y = 0;
    store.GetDialogPosition(x, y);
    EXPECT_EQ(x, 312);
    EXPECT_EQ(y, 204);
}

TEST_F(SettingsDialogTest, EnterAndEscapeDoNothingAboutRunsTheBox) {
    Open();
    EXPECT_TRUE(dialog.OnCommand(ui::kEnterCommand, ui::kButtonClicked));
    EXPECT_TRUE(dialog.OnCommand(ui::kEscapeCommand, ui::kButtonClicked));
    EXPECT_FALSE(window.destroyed);
    EXPECT_FALSE(window.closeRequested);
    EXPECT_TRUE(window.posted.empty());

    EXPECT_TRUE(dialog.OnCommand(IDC_ABOUT_BUTTON, ui::kButtonClicked));
    EXPECT_TRUE(dialog.OnCommand(IDC_ABOUT_BUTTON, ui::kButtonClicked));
    EXPECT_EQ(window.aboutRuns, 2);
    EXPECT_FALSE(dialog.OnCommand(12345, ui::kButtonClicked));
}

TEST_F(SettingsDialogTest, FlashInvertsTheCaptionAnEvenNumberOfTimes) {
    auto start = std::chrono::steady_clock::now();
    dialog.Flash(2);
    auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(window.inversions, 4);
    EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count(), 4 * 60 - 5);
}

}  // namespace
