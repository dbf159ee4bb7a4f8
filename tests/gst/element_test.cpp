// The orvdenoise element driven through GstHarness: its output compared byte
// for byte with orv-denoise and with the stream core run directly on the same
// planes.
#include <gst/check/gstcheck.h>
#include <gst/check/gstharness.h>
#include <gst/video/video.h>
#include <glib/gstdio.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "core/stream_denoiser.h"
#include "settings/settings.h"

namespace {

// One picture as planes of the core's sizes for `layout` (one plane for kGray).
struct Picture {
    int32_t width = 0;
    int32_t height = 0;
    int planes = 0;
    std::vector<uint8_t> data[3];
    int32_t pw[3] = {};
    int32_t ph[3] = {};

    bool operator==(const Picture& o) const {
        if (planes != o.planes) return false;
        for (int p = 0; p < planes; ++p) {
            if (data[p] != o.data[p]) return false;
        }
        return true;
    }
};

using Sequence = std::vector<Picture>;

// The motion-compensated filter follows blocks once its statistics have
// settled: on these sequences at 176x144, from about frame 20 on.
constexpr int kWarmFrames = 28;

core::FrameLayout PlanarLayoutOf(GstVideoFormat format) {
    switch (format) {
        case GST_VIDEO_FORMAT_I420:
        case GST_VIDEO_FORMAT_YV12:
        case GST_VIDEO_FORMAT_NV12:
            return core::FrameLayout::kPlanar420;
        case GST_VIDEO_FORMAT_GRAY8:
            return core::FrameLayout::kGray;
        default:
            return core::FrameLayout::kPlanar422;
    }
}

// A textured picture with a square moving 3 pixels right and 2 down a frame,
// under uniform noise of +-noise: enough motion and noise for the search, the
// analysis and the automatic threshold to act.
Sequence NoisySequence(core::FrameLayout layout, int32_t width, int32_t height, int frames, uint32_t seed,
                       int noise = 6) {
    uint32_t state = seed * 2654435761u + 12345u;
    auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    };
    Sequence sequence;
    for (int f = 0; f < frames; ++f) {
        Picture pic;
        pic.width = width;
        pic.height = height;
        pic.planes = layout == core::FrameLayout::kGray ? 1 : 3;
        for (int p = 0; p < pic.planes; ++p) {
            const core::PlaneSize size = core::PlaneSizeOf(layout, width, height, p);
            pic.pw[p] = size.width;
            pic.ph[p] = size.height;
            pic.data[p].resize(static_cast<size_t>(size.width) * size.height);
            const int32_t sx = width / size.width, sy = height / size.height;
            for (int32_t y = 0; y < size.height; ++y) {
                for (int32_t x = 0; x < size.width; ++x) {
                    const int32_t px = x * sx, py = y * sy;
                    int v = p == 0 ? 40 + (px * 3 + py * 2) % 150 + ((px / 4 + py / 4) % 2) * 20 : 90 + p * 25 + (px + py) % 40;
                    const int32_t qx = px - 3 * f - 5, qy = py - 2 * f - 4;
                    if (qx >= 0 && qx < 20 && qy >= 0 && qy < 16) v = p == 0 ? 220 - (qx + qy) : 60 + 20 * p;
                    v += static_cast<int>(next() % (2 * noise + 1)) - noise;
                    pic.data[p][static_cast<size_t>(y) * size.width + x] =
                        static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
                }
            }
        }
        sequence.push_back(std::move(pic));
    }
    return sequence;
}

GstVideoInfo InfoOf(GstVideoFormat format, int32_t width, int32_t height) {
    GstVideoInfo info;
    fail_unless(gst_video_info_set_format(&info, format, width, height));
    info.fps_n = 25;
    info.fps_d = 1;
    return info;
}

GstCaps* CapsOf(const GstVideoInfo& info) { return gst_video_info_to_caps(&info); }

// A buffer holding `pic` in the layout `info` gives. With `rowPadding`, every
// row of every plane is that much longer and a video meta says so.
GstBuffer* BufferOf(const GstVideoInfo& captured, const Picture& pic, int rowPadding = 0) {
    GstVideoInfo info = captured;
    if (rowPadding > 0) {
        GstVideoAlignment align;
        gst_video_alignment_reset(&align);
        align.padding_right = static_cast<guint>(rowPadding);
        fail_unless(gst_video_info_align(&info, &align));
    }
    GstBuffer* buffer = gst_buffer_new_allocate(nullptr, GST_VIDEO_INFO_SIZE(&info), nullptr);
    gst_buffer_memset(buffer, 0, 0x5a, GST_VIDEO_INFO_SIZE(&info));
    if (rowPadding > 0) {
        gst_buffer_add_video_meta_full(buffer, GST_VIDEO_FRAME_FLAG_NONE, GST_VIDEO_INFO_FORMAT(&info),
                                       GST_VIDEO_INFO_WIDTH(&captured), GST_VIDEO_INFO_HEIGHT(&captured),
                                       GST_VIDEO_INFO_N_PLANES(&info), info.offset, info.stride);
    }
    GstVideoFrame frame;
    fail_unless(gst_video_frame_map(&frame, &captured, buffer, GST_MAP_WRITE));
    for (int c = 0; c < static_cast<int>(GST_VIDEO_FRAME_N_COMPONENTS(&frame)); ++c) {
        fail_unless_equals_int(GST_VIDEO_FRAME_COMP_WIDTH(&frame, c), pic.pw[c]);
        fail_unless_equals_int(GST_VIDEO_FRAME_COMP_HEIGHT(&frame, c), pic.ph[c]);
        uint8_t* base = static_cast<uint8_t*>(GST_VIDEO_FRAME_COMP_DATA(&frame, c));
        const int ps = GST_VIDEO_FRAME_COMP_PSTRIDE(&frame, c), rs = GST_VIDEO_FRAME_COMP_STRIDE(&frame, c);
        for (int32_t y = 0; y < pic.ph[c]; ++y) {
            for (int32_t x = 0; x < pic.pw[c]; ++x) base[y * rs + x * ps] = pic.data[c][static_cast<size_t>(y) * pic.pw[c] + x];
        }
    }
    gst_video_frame_unmap(&frame);
    return buffer;
}

// The picture a buffer of `info` holds (taking its video meta into account).
Picture PictureOf(const GstVideoInfo& info, GstBuffer* buffer, core::FrameLayout layout) {
    Picture pic;
    GstVideoFrame frame;
    fail_unless(gst_video_frame_map(&frame, &info, buffer, GST_MAP_READ));
    pic.width = GST_VIDEO_FRAME_WIDTH(&frame);
    pic.height = GST_VIDEO_FRAME_HEIGHT(&frame);
    pic.planes = layout == core::FrameLayout::kGray ? 1 : 3;
    for (int c = 0; c < pic.planes; ++c) {
        pic.pw[c] = GST_VIDEO_FRAME_COMP_WIDTH(&frame, c);
        pic.ph[c] = GST_VIDEO_FRAME_COMP_HEIGHT(&frame, c);
        const uint8_t* base = static_cast<const uint8_t*>(GST_VIDEO_FRAME_COMP_DATA(&frame, c));
        const int ps = GST_VIDEO_FRAME_COMP_PSTRIDE(&frame, c), rs = GST_VIDEO_FRAME_COMP_STRIDE(&frame, c);
        pic.data[c].resize(static_cast<size_t>(pic.pw[c]) * pic.ph[c]);
        for (int32_t y = 0; y < pic.ph[c]; ++y) {
            for (int32_t x = 0; x < pic.pw[c]; ++x) pic.data[c][static_cast<size_t>(y) * pic.pw[c] + x] = base[y * rs + x * ps];
        }
    }
    gst_video_frame_unmap(&frame);
    return pic;
}

// The user's settings as the element holds them; the reference copies them
// into the record before every frame, as the element does.
struct Controls {
    settings::SettingsRecord record = settings::DefaultRecord();
    bool demo = false;
};

// A step of a reference run: before frame `frame`, change the controls;
// `restart` starts the core again for a fresh sequence (Start, then seeding).
struct Step {
    int frame;
    std::function<void(Controls&)> change;
    bool restart = false;
};

// The stream core run directly on the planes, as the element is meant to run it.
struct ReferenceRun {
    Controls controls;
    settings::SettingsRecord record = settings::DefaultRecord();
    core::StreamDenoiser denoiser{record};
    bool seedDue = false;

    void Start(core::FrameLayout layout, int32_t width, int32_t height) {
        fail_unless(denoiser.Start(layout, width, height));
        seedDue = true;
    }

    Picture Process(Picture pic) {
        settings::CopyRecord(record, controls.record);
        if (seedDue) denoiser.SeedNoiseHistories();
        seedDue = false;
        denoiser.demo.store(controls.demo ? 1 : 0);
        core::PlanarFrame frame;
        for (int p = 0; p < pic.planes; ++p) frame.planes[p] = {pic.data[p].data(), pic.pw[p]};
        fail_unless(denoiser.ProcessPlanar(frame));
        return pic;
    }
};

Sequence Reference(core::FrameLayout layout, const Sequence& input, const std::vector<Step>& steps = {}) {
    ReferenceRun run;
    run.Start(layout, input[0].width, input[0].height);
    Sequence out;
    for (size_t i = 0; i < input.size(); ++i) {
        for (const Step& s : steps) {
            if (s.frame != static_cast<int>(i)) continue;
            if (s.change) s.change(run.controls);
            if (s.restart) run.Start(layout, input[i].width, input[i].height);
        }
        out.push_back(run.Process(input[i]));
    }
    return out;
}

GstHarness* NewHarness(const GstVideoInfo& info) {
    GstHarness* h = gst_harness_new("orvdenoise");
    gst_harness_set_src_caps(h, CapsOf(info));
    return h;
}

Picture PushPull(GstHarness* h, const GstVideoInfo& info, const Picture& pic, int rowPadding = 0,
                 bool discont = false) {
    GstBuffer* in = BufferOf(info, pic, rowPadding);
    if (discont) GST_BUFFER_FLAG_SET(in, GST_BUFFER_FLAG_DISCONT);
    fail_unless_equals_int(gst_harness_push(h, in), GST_FLOW_OK);
    GstBuffer* out = gst_harness_pull(h);
    fail_unless(out != nullptr);
    Picture result = PictureOf(info, out, PlanarLayoutOf(GST_VIDEO_INFO_FORMAT(&info)));
    gst_buffer_unref(out);
    return result;
}

Sequence RunElement(const GstVideoInfo& info, const Sequence& input, int rowPadding = 0) {
    GstHarness* h = NewHarness(info);
    Sequence out;
    for (const Picture& pic : input) out.push_back(PushPull(h, info, pic, rowPadding));
    gst_harness_teardown(h);
    return out;
}

void ExpectSame(const Sequence& got, const Sequence& want, const char* what) {
    fail_unless_equals_int(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) {
        for (int p = 0; p < want[i].planes; ++p) {
            fail_unless(got[i].data[p] == want[i].data[p], "%s: frame %zu plane %d differs", what, i, p);
        }
    }
}

bool AnyDifferent(const Sequence& a, const Sequence& b) {
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        if (!(a[i] == b[i])) return true;
    }
    return false;
}

// The first error message on `bus`, or an empty string.
std::string ErrorText(GstBus* bus) {
    std::string text;
    GstMessage* msg = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR);
    if (msg != nullptr) {
        GError* error = nullptr;
        gst_message_parse_error(msg, &error, nullptr);
        text = error->message;
        g_error_free(error);
        gst_message_unref(msg);
    }
    return text;
}

// The pictures as one run of tightly packed frames, as a raw file holds them.
std::vector<uint8_t> Concatenated(const GstVideoInfo& info, const Sequence& pictures) {
    std::vector<uint8_t> bytes;
    for (const Picture& pic : pictures) {
        GstBuffer* b = BufferOf(info, pic);
        GstMapInfo map;
        gst_buffer_map(b, &map, GST_MAP_READ);
        bytes.insert(bytes.end(), map.data, map.data + map.size);
        gst_buffer_unmap(b, &map);
        gst_buffer_unref(b);
    }
    return bytes;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::vector<uint8_t> bytes;
    gchar* contents = nullptr;
    gsize length = 0;
    if (g_file_get_contents(path.c_str(), &contents, &length, nullptr)) {
        bytes.assign(contents, contents + length);
        g_free(contents);
    }
    return bytes;
}

}  // namespace

// The same noisy YUY2 frames through the element and through orv-denoise with
// its default settings; a width that is no multiple of 8 leaves a column band
// unfiltered, rows with padding go through a meta-described buffer.
GST_START_TEST(test_yuy2_matches_cli) {
    const struct {
        int32_t width, height;
        int rowPadding;
    } kCases[] = {{176, 144, 0}, {100, 58, 0}, {176, 144, 40}};
    for (const auto& tc : kCases) {
        const GstVideoInfo info = InfoOf(GST_VIDEO_FORMAT_YUY2, tc.width, tc.height);
        const Sequence input = NoisySequence(core::FrameLayout::kPlanar422, tc.width, tc.height, kWarmFrames, 7);
        const Sequence output = RunElement(info, input, tc.rowPadding);

        gchar* dir = g_dir_make_tmp("orvdenoise-XXXXXX", nullptr);
        fail_unless(dir != nullptr);
        const std::string in = std::string(dir) + "/in.yuyv", out = std::string(dir) + "/out.yuyv";
        const std::vector<uint8_t> raw = Concatenated(info, input);
        fail_unless(g_file_set_contents(in.c_str(), reinterpret_cast<const gchar*>(raw.data()),
                                        static_cast<gssize>(raw.size()), nullptr));
        const std::string size = std::to_string(tc.width) + "x" + std::to_string(tc.height);
        const gchar* argv[] = {ORV_DENOISE_PATH, "-q", "--format", "yuyv422", "--size", size.c_str(),
                               in.c_str(), out.c_str(), nullptr};
        gint status = -1;
        GError* error = nullptr;
        fail_unless(g_spawn_sync(nullptr, const_cast<gchar**>(argv), nullptr, G_SPAWN_DEFAULT, nullptr, nullptr,
                                 nullptr, nullptr, &status, &error),
                    "cannot run orv-denoise: %s", error != nullptr ? error->message : "");
        fail_unless(g_spawn_check_wait_status(status, nullptr), "orv-denoise failed");
        const std::vector<uint8_t> cli = ReadFile(out);
        const std::vector<uint8_t> want = Concatenated(info, output);
        fail_unless(cli.size() == want.size(), "%s: orv-denoise wrote %zu bytes, the element %zu", size.c_str(),
                    cli.size(), want.size());
        fail_unless(cli == want, "%s (row padding %d): the element's frames differ from orv-denoise's", size.c_str(),
                    tc.rowPadding);
        fail_unless(want != raw, "the frames came back unfiltered");
        g_remove(in.c_str());
        g_remove(out.c_str());
        g_rmdir(dir);
        g_free(dir);
    }
}
GST_END_TEST;

// Every format the element takes, at even and odd sizes, gives what the core's
// planar path gives on the same planes; padded rows (a video meta) change nothing.
GST_START_TEST(test_formats_match_core) {
    const GstVideoFormat kFormats[] = {GST_VIDEO_FORMAT_YUY2, GST_VIDEO_FORMAT_UYVY, GST_VIDEO_FORMAT_I420,
                                       GST_VIDEO_FORMAT_YV12, GST_VIDEO_FORMAT_NV12, GST_VIDEO_FORMAT_Y42B,
                                       GST_VIDEO_FORMAT_GRAY8};
    const struct {
        int32_t width, height;
        int rowPadding;
        int frames;
    } kSizes[] = {{176, 144, 0, kWarmFrames}, {61, 37, 0, 4}, {8, 1, 0, 3}, {72, 40, 24, 4}};
    for (GstVideoFormat format : kFormats) {
        for (const auto& size : kSizes) {
            const core::FrameLayout layout = PlanarLayoutOf(format);
            const GstVideoInfo info = InfoOf(format, size.width, size.height);
            const Sequence input = NoisySequence(layout, size.width, size.height, size.frames, 3);
            const Sequence want = Reference(layout, input);
            const Sequence got = RunElement(info, input, size.rowPadding);
            const std::string what = std::string(gst_video_format_to_string(format)) + " " +
                                     std::to_string(size.width) + "x" + std::to_string(size.height) + " padding " +
                                     std::to_string(size.rowPadding);
            ExpectSame(got, want, what.c_str());
            if (size.frames == kWarmFrames) {
                fail_unless(got.back().data[0] != input.back().data[0], "%s: the luma was not filtered", what.c_str());
            }
        }
    }
}
GST_END_TEST;

// Each property set between two frames applies from the next frame on, while
// the stream runs.
GST_START_TEST(test_property_change_takes_effect_next_frame) {
    const struct {
        const char* name;
        const char* value;
        std::function<void(Controls&)> change;
    } kChanges[] = {
        {"enabled", "false", [](Controls& c) { c.record.ProcEnable = 0; }},
        {"threshold-u", "60", [](Controls& c) { c.record.U_Threshold = 60; }},
        {"motion-compensation", "y+u+v",
         [](Controls& c) { c.record.Y_MEEnable = c.record.U_MEEnable = c.record.V_MEEnable = 1; }},
        {"auto-threshold", "u", [](Controls& c) { c.record.Y_AutoThreshold = c.record.V_AutoThreshold = 0; }},
        {"demo", "true", [](Controls& c) { c.demo = true; }},
    };
    const int32_t width = 176, height = 144;
    const int kChangeAt = kWarmFrames - 4;
    const GstVideoInfo info = InfoOf(GST_VIDEO_FORMAT_I420, width, height);
    const Sequence input = NoisySequence(core::FrameLayout::kPlanar420, width, height, kWarmFrames, 11);
    const Sequence unchanged = Reference(core::FrameLayout::kPlanar420, input);
    for (const auto& tc : kChanges) {
        const Sequence want = Reference(core::FrameLayout::kPlanar420, input, {{kChangeAt, tc.change}});
        fail_unless(AnyDifferent(want, unchanged), "%s: the change shows in no frame", tc.name);
        GstHarness* h = NewHarness(info);
        Sequence got;
        for (size_t i = 0; i < input.size(); ++i) {
            if (static_cast<int>(i) == kChangeAt) gst_util_set_object_arg(G_OBJECT(h->element), tc.name, tc.value);
            got.push_back(PushPull(h, info, input[i]));
        }
        gst_harness_teardown(h);
        ExpectSame(got, want, tc.name);
    }
}
GST_END_TEST;

// A new size and format midway: the buffers are allocated again and the
// frames after the change are filtered as a fresh sequence of the new geometry.
GST_START_TEST(test_renegotiation) {
    const GstVideoInfo first = InfoOf(GST_VIDEO_FORMAT_YUY2, 64, 48);
    const GstVideoInfo second = InfoOf(GST_VIDEO_FORMAT_NV12, 90, 70);
    const Sequence a = NoisySequence(core::FrameLayout::kPlanar422, 64, 48, 4, 5);
    const Sequence b = NoisySequence(core::FrameLayout::kPlanar420, 90, 70, 4, 6);

    ReferenceRun run;
    Sequence want;
    run.Start(core::FrameLayout::kPlanar422, 64, 48);
    for (const Picture& pic : a) want.push_back(run.Process(pic));
    run.Start(core::FrameLayout::kPlanar420, 90, 70);
    for (const Picture& pic : b) want.push_back(run.Process(pic));

    GstHarness* h = NewHarness(first);
    Sequence got;
    for (const Picture& pic : a) got.push_back(PushPull(h, first, pic));
    gst_harness_set_src_caps(h, CapsOf(second));
    for (const Picture& pic : b) got.push_back(PushPull(h, second, pic));
    ExpectSame(got, want, "renegotiation");

    // Stopped and started again (as an application does between two files),
    // the same caps start the element again.
    fail_unless_equals_int(gst_element_set_state(h->element, GST_STATE_READY), GST_STATE_CHANGE_SUCCESS);
    gst_harness_play(h);
    gst_harness_set_src_caps(h, CapsOf(second));
    run.Start(core::FrameLayout::kPlanar420, 90, 70);
    for (const Picture& pic : b) ExpectSame({PushPull(h, second, pic)}, {run.Process(pic)}, "after a restart");
    gst_harness_teardown(h);
}
GST_END_TEST;

// After a DISCONT buffer or a flushing seek nothing is blended with a
// picture from before: with motion compensation off (output depends on the
// pictures alone) the frames after the jump come out as from a fresh element;
// with the defaults they follow the core started again at the jump.
GST_START_TEST(test_reset_after_discont_and_flush) {
    const int32_t width = 176, height = 144;
    const int kJumpAt = kWarmFrames;
    const GstVideoInfo info = InfoOf(GST_VIDEO_FORMAT_I420, width, height);
    const Sequence before = NoisySequence(core::FrameLayout::kPlanar420, width, height, kJumpAt, 21, 30);
    const Sequence after = NoisySequence(core::FrameLayout::kPlanar420, width, height, 4, 22);
    Sequence input = before;
    input.insert(input.end(), after.begin(), after.end());

    for (bool flush : {false, true}) {
        for (bool motion : {false, true}) {
            auto settings = [motion](Controls& c) {
                if (!motion) c.record.Y_MEEnable = c.record.U_MEEnable = c.record.V_MEEnable = 0;
            };
            const Sequence want = Reference(core::FrameLayout::kPlanar420, input, {{0, settings}, {kJumpAt, nullptr, true}});
            const Sequence noJump = Reference(core::FrameLayout::kPlanar420, input, {{0, settings}});
            fail_unless(AnyDifferent(want, noJump), "the jump changes no frame");
            if (!motion) {
                const Sequence fresh = Reference(core::FrameLayout::kPlanar420, after, {{0, settings}});
                ExpectSame(Sequence(want.begin() + kJumpAt, want.end()), fresh, "fresh sequence");
            }

            GstHarness* h = NewHarness(info);
            if (!motion) gst_util_set_object_arg(G_OBJECT(h->element), "motion-compensation", "");
            Sequence got;
            for (size_t i = 0; i < input.size(); ++i) {
                const bool jump = static_cast<int>(i) == kJumpAt;
                if (jump && flush) {
                    fail_unless(gst_harness_push_event(h, gst_event_new_flush_start()));
                    fail_unless(gst_harness_push_event(h, gst_event_new_flush_stop(TRUE)));
                    GstSegment segment;
                    gst_segment_init(&segment, GST_FORMAT_TIME);
                    fail_unless(gst_harness_push_event(h, gst_event_new_segment(&segment)));
                }
                got.push_back(PushPull(h, info, input[i], 0, jump && !flush));
            }
            gst_harness_teardown(h);
            ExpectSame(got, want, flush ? "after a flush" : "after a DISCONT");
        }
    }
}
GST_END_TEST;

// Two elements in one process, fed frame by frame in turn with different
// streams, each give what it gives alone.
GST_START_TEST(test_two_elements_independent) {
    const GstVideoInfo ia = InfoOf(GST_VIDEO_FORMAT_YUY2, 176, 144);
    const GstVideoInfo ib = InfoOf(GST_VIDEO_FORMAT_I420, 160, 96);
    const Sequence a = NoisySequence(core::FrameLayout::kPlanar422, 176, 144, kWarmFrames, 31);
    const Sequence b = NoisySequence(core::FrameLayout::kPlanar420, 160, 96, kWarmFrames, 32, 25);
    const Sequence aloneA = RunElement(ia, a);
    const Sequence aloneB = RunElement(ib, b);

    GstHarness* ha = NewHarness(ia);
    GstHarness* hb = NewHarness(ib);
    // A setting of one element stays its own.
    gst_util_set_object_arg(G_OBJECT(hb->element), "threshold-v", "40");
    Sequence gotA, gotB;
    for (size_t i = 0; i < a.size(); ++i) {
        gotA.push_back(PushPull(ha, ia, a[i]));
        gotB.push_back(PushPull(hb, ib, b[i]));
    }
    gst_harness_teardown(ha);
    gst_harness_teardown(hb);
    ExpectSame(gotA, aloneA, "stream A");
    const Sequence wantB = Reference(core::FrameLayout::kPlanar420, b, {{0, [](Controls& c) { c.record.V_Threshold = 40; }}});
    ExpectSame(gotB, wantB, "stream B");
    fail_unless(AnyDifferent(gotB, aloneB), "threshold-v of B changed nothing");
}
GST_END_TEST;

// post-messages: off by default; once on, one element message a frame with
// the measurements of the frame just filtered.
GST_START_TEST(test_messages) {
    const int32_t width = 176, height = 144;
    const GstVideoInfo info = InfoOf(GST_VIDEO_FORMAT_Y42B, width, height);
    const Sequence input = NoisySequence(core::FrameLayout::kPlanar422, width, height, kWarmFrames, 41);
    GstHarness* h = NewHarness(info);
    GstBus* bus = gst_bus_new();
    gst_element_set_bus(h->element, bus);

    ReferenceRun run;
    run.Start(core::FrameLayout::kPlanar422, width, height);
    for (size_t i = 0; i < input.size(); ++i) {
        const bool on = i >= 2;
        if (i == 2) g_object_set(h->element, "post-messages", TRUE, nullptr);
        PushPull(h, info, input[i]);
        run.Process(input[i]);
        GstMessage* msg = gst_bus_pop_filtered(bus, GST_MESSAGE_ELEMENT);
        fail_unless((msg != nullptr) == on, "frame %zu: message %s", i, on ? "missing" : "while off");
        if (msg == nullptr) continue;
        const GstStructure* s = gst_message_get_structure(msg);
        fail_unless(gst_structure_has_name(s, "orvdenoise"));
        static const char* const kNames[3] = {"y", "u", "v"};
        for (int p = 0; p < 3; ++p) {
            const core::PlaneReport& r = run.denoiser.Report(p);
            const std::string n = kNames[p];
            gboolean measured = FALSE, scene = FALSE;
            double mean = 0, frameSnr = 0;
            int threshold = -1, noise = -1;
            fail_unless(gst_structure_get(s, (n + "-measured").c_str(), G_TYPE_BOOLEAN, &measured,
                                          (n + "-mean-snr").c_str(), G_TYPE_DOUBLE, &mean, (n + "-frame-snr").c_str(),
                                          G_TYPE_DOUBLE, &frameSnr, (n + "-threshold").c_str(), G_TYPE_INT, &threshold,
                                          (n + "-noise-level").c_str(), G_TYPE_INT, &noise,
                                          (n + "-scene-change").c_str(), G_TYPE_BOOLEAN, &scene, nullptr));
            fail_unless((measured != FALSE) == r.analysed && mean == r.meanSnr && frameSnr == r.frameSnr &&
                            threshold == r.threshold && noise == r.noiseLevel && (scene != FALSE) == (r.sceneChange != 0),
                        "frame %zu plane %s: the message differs from the core's report", i, n.c_str());
        }
        gst_message_unref(msg);
    }
    gst_element_set_bus(h->element, nullptr);
    gst_object_unref(bus);
    gst_harness_teardown(h);
}
GST_END_TEST;

// Sizes the core cannot take are refused when the caps arrive, with a
// sentence naming the size; frames shorter than their caps, also when a video
// meta promises rows the buffer does not hold, are an error, never read past.
GST_START_TEST(test_bad_input) {
    const struct {
        GstVideoFormat format;
        int32_t width, height;
    } kRefused[] = {
        {GST_VIDEO_FORMAT_I420, 4, 4}, {GST_VIDEO_FORMAT_YUY2, 7, 16},
        {GST_VIDEO_FORMAT_GRAY8, 16385, 2}, {GST_VIDEO_FORMAT_GRAY8, 8, 16385},
    };
    for (const auto& tc : kRefused) {
        const GstVideoInfo info = InfoOf(tc.format, tc.width, tc.height);
        GstHarness* h = gst_harness_new("orvdenoise");
        GstBus* bus = gst_bus_new();
        gst_element_set_bus(h->element, bus);
        gst_pad_push_event(h->srcpad, gst_event_new_caps(CapsOf(info)));
        GstSegment segment;
        gst_segment_init(&segment, GST_FORMAT_TIME);
        gst_pad_push_event(h->srcpad, gst_event_new_segment(&segment));
        GstBuffer* buffer = gst_buffer_new_allocate(nullptr, GST_VIDEO_INFO_SIZE(&info), nullptr);
        fail_unless(gst_harness_push(h, buffer) != GST_FLOW_OK, "%dx%d was accepted", tc.width, tc.height);
        const std::string text = ErrorText(bus);
        const std::string size = std::to_string(tc.width) + "x" + std::to_string(tc.height);
        fail_unless(text.find("cannot filter " + size) != std::string::npos, "%s: error '%s'", size.c_str(),
                    text.c_str());
        gst_element_set_bus(h->element, nullptr);
        gst_object_unref(bus);
        gst_harness_teardown(h);
    }

    const GstVideoInfo info = InfoOf(GST_VIDEO_FORMAT_I420, 64, 48);
    const struct {
        const char* what;
        std::function<GstBuffer*()> make;
    } kShort[] = {
        {"one byte short", [&info] { return gst_buffer_new_allocate(nullptr, GST_VIDEO_INFO_SIZE(&info) - 1, nullptr); }},
        {"meta with strides beyond the buffer",
         [&info] {
             GstBuffer* b = gst_buffer_new_allocate(nullptr, GST_VIDEO_INFO_SIZE(&info), nullptr);
             gsize offset[4] = {info.offset[0], info.offset[1], info.offset[2], 0};
             gint stride[4] = {info.stride[0] * 2, info.stride[1], info.stride[2], 0};
             gst_buffer_add_video_meta_full(b, GST_VIDEO_FRAME_FLAG_NONE, GST_VIDEO_FORMAT_I420, 64, 48, 3, offset,
                                            stride);
             return b;
         }},
        {"meta with a plane beyond the buffer",
         [&info] {
             GstBuffer* b = gst_buffer_new_allocate(nullptr, GST_VIDEO_INFO_SIZE(&info), nullptr);
             gsize offset[4] = {info.offset[0], info.offset[1], GST_VIDEO_INFO_SIZE(&info) + 64, 0};
             gint stride[4] = {info.stride[0], info.stride[1], info.stride[2], 0};
             gst_buffer_add_video_meta_full(b, GST_VIDEO_FRAME_FLAG_NONE, GST_VIDEO_FORMAT_I420, 64, 48, 3, offset,
                                            stride);
             return b;
         }},
    };
    for (const auto& tc : kShort) {
        GstHarness* h = NewHarness(info);
        GstBus* bus = gst_bus_new();
        gst_element_set_bus(h->element, bus);
        fail_unless_equals_int(gst_harness_push(h, tc.make()), GST_FLOW_ERROR);
        const std::string text = ErrorText(bus);
        fail_unless(text.find("smaller than its format says") != std::string::npos, "%s: error '%s'", tc.what,
                    text.c_str());
        gst_element_set_bus(h->element, nullptr);
        gst_object_unref(bus);
        gst_harness_teardown(h);
    }
}
GST_END_TEST;

static Suite* orvdenoise_suite(void) {
    Suite* s = suite_create("orvdenoise");
    TCase* tc = tcase_create("element");
    // Sanitizer builds run several times slower.
    tcase_set_timeout(tc, 600);
    tcase_add_test(tc, test_yuy2_matches_cli);
    tcase_add_test(tc, test_formats_match_core);
    tcase_add_test(tc, test_property_change_takes_effect_next_frame);
    tcase_add_test(tc, test_renegotiation);
    tcase_add_test(tc, test_reset_after_discont_and_flush);
    tcase_add_test(tc, test_two_elements_independent);
    tcase_add_test(tc, test_messages);
    tcase_add_test(tc, test_bad_input);
    suite_add_tcase(s, tc);
    return s;
}

GST_CHECK_MAIN(orvdenoise);
