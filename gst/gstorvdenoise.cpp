#include "gst/gstorvdenoise.h"

#include <gst/video/video.h>

#include <atomic>
#include <cstddef>
#include <cstring>
#include <new>
#include <vector>

#include "core/stream_denoiser.h"
#include "gst/component_copy.h"
#include "orv_version.h"
#include "settings/settings.h"

GST_DEBUG_CATEGORY_STATIC(gst_orv_denoise_debug);
#define GST_CAT_DEFAULT gst_orv_denoise_debug

namespace {

enum PlaneFlag : guint { kFlagY = 1u << 0, kFlagU = 1u << 1, kFlagV = 1u << 2 };
constexpr guint kPlaneFlags[3] = {kFlagY, kFlagU, kFlagV};

// The properties as the user set them; the element's copy, guarded by the
// object lock and copied into the stream's settings record once per frame.
struct Controls {
    gboolean enabled;
    guint motionCompensation;  // PlaneFlag bits
    gint threshold[3];         // Y, U, V
    guint autoThreshold;       // PlaneFlag bits
    gboolean demo;
    gboolean postMessages;
};

guint FlagsOf(uint32_t y, uint32_t u, uint32_t v) {
    return (y != 0 ? kFlagY : 0u) | (u != 0 ? kFlagU : 0u) | (v != 0 ? kFlagV : 0u);
}

// A fresh settings file's values: the settings table's defaults.
Controls DefaultControls() {
    const settings::SettingsRecord d = settings::DefaultRecord();
    Controls c{};
    c.enabled = d.ProcEnable != 0;
    c.motionCompensation = FlagsOf(d.Y_MEEnable, d.U_MEEnable, d.V_MEEnable);
    c.threshold[0] = d.Y_Threshold;
    c.threshold[1] = d.U_Threshold;
    c.threshold[2] = d.V_Threshold;
    c.autoThreshold = FlagsOf(d.Y_AutoThreshold, d.U_AutoThreshold, d.V_AutoThreshold);
    c.demo = FALSE;
    c.postMessages = FALSE;
    return c;
}

// Every frame starts from the user's values: the automatic threshold's
// rewrite of the record lasts only for the frame it was measured in.
void ApplyControls(const Controls& c, settings::SettingsRecord& record) {
    record.ProcEnable = c.enabled ? 1 : 0;
    record.Y_MEEnable = (c.motionCompensation & kFlagY) != 0;
    record.U_MEEnable = (c.motionCompensation & kFlagU) != 0;
    record.V_MEEnable = (c.motionCompensation & kFlagV) != 0;
    record.Y_Threshold = c.threshold[0];
    record.U_Threshold = c.threshold[1];
    record.V_Threshold = c.threshold[2];
    record.Y_AutoThreshold = (c.autoThreshold & kFlagY) != 0;
    record.U_AutoThreshold = (c.autoThreshold & kFlagU) != 0;
    record.V_AutoThreshold = (c.autoThreshold & kFlagV) != 0;
}

// One stream's state. The streaming thread owns it: set_info, the frames and
// the serialized events all run there; only `restartDue` is set elsewhere.
struct Stream {
    settings::SettingsRecord record = settings::DefaultRecord();
    core::StreamDenoiser denoiser{record};
    bool started = false;
    int components = 0;
    // YUY2 of even width goes whole through the packed entry point, the
    // path a host's frames take; rows with padding are closed up in
    // `packedScratch` first.
    bool packed = false;
    std::vector<uint8_t> packedScratch;
    // Components whose samples are interleaved are copied into a plane of
    // their own and back.
    std::vector<uint8_t> scratch[3];
    int32_t scratchStride[3] = {};
    bool seedDue = false;
    uint64_t framesSinceStart = 0;
    std::atomic<bool> restartDue{false};
};

bool LayoutOf(GstVideoFormat format, int32_t width, core::FrameLayout& layout, bool& packed) {
    packed = false;
    switch (format) {
        case GST_VIDEO_FORMAT_YUY2:
            packed = width % 2 == 0;
            layout = packed ? core::FrameLayout::kPacked422 : core::FrameLayout::kPlanar422;
            return true;
        case GST_VIDEO_FORMAT_UYVY:
        case GST_VIDEO_FORMAT_Y42B:
            layout = core::FrameLayout::kPlanar422;
            return true;
        case GST_VIDEO_FORMAT_I420:
        case GST_VIDEO_FORMAT_YV12:
        case GST_VIDEO_FORMAT_NV12:
            layout = core::FrameLayout::kPlanar420;
            return true;
        case GST_VIDEO_FORMAT_GRAY8:
            layout = core::FrameLayout::kGray;
            return true;
        default:
            return false;
    }
}

// Component `c` of a mapped frame. Components are addressed by colour, not
// by plane index, so YV12's V-before-U order needs no special case.
orvgst::ComponentView ComponentOf(const GstVideoFrame* frame, int c) {
    return {static_cast<uint8_t*>(GST_VIDEO_FRAME_COMP_DATA(frame, c)), GST_VIDEO_FRAME_COMP_PSTRIDE(frame, c),
            GST_VIDEO_FRAME_COMP_STRIDE(frame, c), GST_VIDEO_FRAME_COMP_WIDTH(frame, c),
            GST_VIDEO_FRAME_COMP_HEIGHT(frame, c)};
}

// Whether every sample of component `c` lies inside the memory mapped for
// its plane, rows one after the other. A buffer whose video meta promises
// more than the buffer holds fails here instead of being read past its end.
bool ComponentInside(const GstVideoFrame* frame, int c, gsize& needed, gsize& available) {
    const orvgst::ComponentView v = ComponentOf(frame, c);
    const GstMapInfo& map = frame->meta != nullptr ? frame->map[GST_VIDEO_FRAME_COMP_PLANE(frame, c)] : frame->map[0];
    const uint8_t* begin = map.data;
    const uint8_t* end = map.data + map.size;
    needed = 0;
    available = v.data >= begin && v.data <= end ? static_cast<gsize>(end - v.data) : 0;
    if (v.width <= 0 || v.height <= 0 || v.pixelStride <= 0 || v.rowStride <= 0) return false;
    const gsize rowBytes = static_cast<gsize>(v.width - 1) * static_cast<gsize>(v.pixelStride) + 1;
    if (static_cast<gsize>(v.rowStride) < rowBytes) return false;
    needed = static_cast<gsize>(v.height - 1) * static_cast<gsize>(v.rowStride) + rowBytes;
    return needed <= available;
}

}  // namespace

struct _GstOrvDenoise {
    GstVideoFilter parent;
    Controls controls;  // guarded by the object lock
    Stream* stream;     // null only when it could not be allocated
};

enum {
    PROP_0,
    PROP_ENABLED,
    PROP_MOTION_COMPENSATION,
    PROP_THRESHOLD_Y,
    PROP_THRESHOLD_U,
    PROP_THRESHOLD_V,
    PROP_AUTO_THRESHOLD,
    PROP_DEMO,
    PROP_POST_MESSAGES,
};

#define ORV_DENOISE_FORMATS "{ YUY2, UYVY, I420, YV12, NV12, Y42B, GRAY8 }"

static GstStaticPadTemplate sink_template = GST_STATIC_PAD_TEMPLATE(
    "sink", GST_PAD_SINK, GST_PAD_ALWAYS, GST_STATIC_CAPS(GST_VIDEO_CAPS_MAKE(ORV_DENOISE_FORMATS)));
static GstStaticPadTemplate src_template = GST_STATIC_PAD_TEMPLATE(
    "src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS(GST_VIDEO_CAPS_MAKE(ORV_DENOISE_FORMATS)));

GType gst_orv_denoise_planes_get_type(void) {
    static GType type = 0;
    static const GFlagsValue values[] = {
        {kFlagY, "Luma (Y)", "y"},
        {kFlagU, "Chroma U (Cb)", "u"},
        {kFlagV, "Chroma V (Cr)", "v"},
        {0, nullptr, nullptr},
    };
    if (g_once_init_enter(&type)) {
        GType t = g_flags_register_static("GstOrvDenoisePlanes", values);
        g_once_init_leave(&type, t);
    }
    return type;
}

G_DEFINE_TYPE(GstOrvDenoise, gst_orv_denoise, GST_TYPE_VIDEO_FILTER)
GST_ELEMENT_REGISTER_DEFINE(orvdenoise, "orvdenoise", GST_RANK_NONE, GST_TYPE_ORV_DENOISE)

static void gst_orv_denoise_set_property(GObject* object, guint id, const GValue* value, GParamSpec* pspec) {
    GstOrvDenoise* self = GST_ORV_DENOISE(object);
    GST_OBJECT_LOCK(self);
    Controls& c = self->controls;
    switch (id) {
        case PROP_ENABLED: c.enabled = g_value_get_boolean(value); break;
        case PROP_MOTION_COMPENSATION: c.motionCompensation = g_value_get_flags(value); break;
        case PROP_THRESHOLD_Y: c.threshold[0] = g_value_get_int(value); break;
        case PROP_THRESHOLD_U: c.threshold[1] = g_value_get_int(value); break;
        case PROP_THRESHOLD_V: c.threshold[2] = g_value_get_int(value); break;
        case PROP_AUTO_THRESHOLD: c.autoThreshold = g_value_get_flags(value); break;
        case PROP_DEMO: c.demo = g_value_get_boolean(value); break;
        case PROP_POST_MESSAGES: c.postMessages = g_value_get_boolean(value); break;
        default: G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec); break;
    }
    GST_OBJECT_UNLOCK(self);
}

static void gst_orv_denoise_get_property(GObject* object, guint id, GValue* value, GParamSpec* pspec) {
    GstOrvDenoise* self = GST_ORV_DENOISE(object);
    GST_OBJECT_LOCK(self);
    const Controls& c = self->controls;
    switch (id) {
        case PROP_ENABLED: g_value_set_boolean(value, c.enabled); break;
        case PROP_MOTION_COMPENSATION: g_value_set_flags(value, c.motionCompensation); break;
        case PROP_THRESHOLD_Y: g_value_set_int(value, c.threshold[0]); break;
        case PROP_THRESHOLD_U: g_value_set_int(value, c.threshold[1]); break;
        case PROP_THRESHOLD_V: g_value_set_int(value, c.threshold[2]); break;
        case PROP_AUTO_THRESHOLD: g_value_set_flags(value, c.autoThreshold); break;
        case PROP_DEMO: g_value_set_boolean(value, c.demo); break;
        case PROP_POST_MESSAGES: g_value_set_boolean(value, c.postMessages); break;
        default: G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec); break;
    }
    GST_OBJECT_UNLOCK(self);
}

static gboolean gst_orv_denoise_set_info(GstVideoFilter* filter, GstCaps* incaps, GstVideoInfo* in_info,
                                         GstCaps* /*outcaps*/, GstVideoInfo* /*out_info*/) {
    GstOrvDenoise* self = GST_ORV_DENOISE(filter);
    Stream* s = self->stream;
    if (s == nullptr) {
        GST_ELEMENT_ERROR(self, RESOURCE, FAILED, ("Not enough memory to start the denoiser."), (nullptr));
        return FALSE;
    }
    s->started = false;
    const int32_t width = GST_VIDEO_INFO_WIDTH(in_info);
    const int32_t height = GST_VIDEO_INFO_HEIGHT(in_info);
    const GstVideoFormat format = GST_VIDEO_INFO_FORMAT(in_info);
    if (!core::GeometrySupported(width, height)) {
        GST_ELEMENT_ERROR(self, STREAM, FORMAT,
                          ("The denoiser cannot filter %dx%d video: frames must be %d to %d pixels wide and "
                           "1 to %d pixels high.",
                           width, height, core::kMinWidth, core::kMaxSide, core::kMaxSide),
                          ("refused caps %" GST_PTR_FORMAT, incaps));
        return FALSE;
    }
    core::FrameLayout layout;
    bool packed = false;
    if (!LayoutOf(format, width, layout, packed)) {
        GST_ELEMENT_ERROR(self, STREAM, FORMAT, ("The denoiser cannot filter video in %s format.",
                                                 gst_video_format_to_string(format)),
                          ("refused caps %" GST_PTR_FORMAT, incaps));
        return FALSE;
    }
    if (!s->denoiser.Start(layout, width, height)) {
        GST_ELEMENT_ERROR(self, RESOURCE, FAILED, ("Not enough memory to filter %dx%d video.", width, height),
                          (nullptr));
        return FALSE;
    }

    s->packed = packed;
    s->components = layout == core::FrameLayout::kGray ? 1 : 3;
    try {
        s->packedScratch.assign(packed ? static_cast<size_t>(width) * 2 * static_cast<size_t>(height) : 0, 0);
        for (int c = 0; c < 3; ++c) {
            size_t bytes = 0;
            s->scratchStride[c] = 0;
            if (!packed && c < s->components) {
                const core::PlaneSize size = core::PlaneSizeOf(layout, width, height, c);
                // GStreamer and the core must agree on every plane's size,
                // odd widths and heights included.
                if (size.width != GST_VIDEO_INFO_COMP_WIDTH(in_info, c) ||
                    size.height != GST_VIDEO_INFO_COMP_HEIGHT(in_info, c)) {
                    GST_ELEMENT_ERROR(self, STREAM, FORMAT,
                                      ("The denoiser cannot filter %dx%d video in %s format.", width, height,
                                       gst_video_format_to_string(format)),
                                      ("component %d is %dx%d, the denoiser expects %dx%d", c,
                                       GST_VIDEO_INFO_COMP_WIDTH(in_info, c), GST_VIDEO_INFO_COMP_HEIGHT(in_info, c),
                                       size.width, size.height));
                    return FALSE;
                }
                if (GST_VIDEO_INFO_COMP_PSTRIDE(in_info, c) != 1) {
                    s->scratchStride[c] = size.width;
                    bytes = static_cast<size_t>(size.width) * static_cast<size_t>(size.height);
                }
            }
            s->scratch[c].assign(bytes, 0);
        }
    } catch (const std::bad_alloc&) {
        GST_ELEMENT_ERROR(self, RESOURCE, FAILED, ("Not enough memory to filter %dx%d video.", width, height),
                          (nullptr));
        return FALSE;
    }
    GST_DEBUG_OBJECT(self, "started for %s %dx%d%s", gst_video_format_to_string(format), width, height,
                     packed ? " (packed)" : "");
    s->restartDue.store(false);
    s->seedDue = true;
    s->framesSinceStart = 0;
    s->started = true;
    return TRUE;
}

static bool ProcessPackedFrame(Stream& s, GstVideoFrame* frame) {
    const int32_t width = s.denoiser.Width();
    const int32_t height = s.denoiser.Height();
    uint8_t* data = static_cast<uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(frame, 0));
    const int32_t stride = GST_VIDEO_FRAME_PLANE_STRIDE(frame, 0);
    const size_t rowBytes = static_cast<size_t>(width) * 2;
    if (static_cast<size_t>(stride) == rowBytes) return s.denoiser.ProcessPacked(data);
    uint8_t* tight = s.packedScratch.data();
    for (int32_t y = 0; y < height; ++y) {
        std::memcpy(tight + y * rowBytes, data + static_cast<ptrdiff_t>(y) * stride, rowBytes);
    }
    if (!s.denoiser.ProcessPacked(tight)) return false;
    for (int32_t y = 0; y < height; ++y) {
        std::memcpy(data + static_cast<ptrdiff_t>(y) * stride, tight + y * rowBytes, rowBytes);
    }
    return true;
}

static bool ProcessPlanarFrame(Stream& s, GstVideoFrame* frame) {
    core::PlanarFrame planar;
    orvgst::ComponentView views[3];
    for (int c = 0; c < s.components; ++c) {
        views[c] = ComponentOf(frame, c);
        if (views[c].pixelStride == 1) {
            planar.planes[c] = {views[c].data, views[c].rowStride};
        } else {
            orvgst::GatherComponent(views[c], s.scratch[c].data(), s.scratchStride[c]);
            planar.planes[c] = {s.scratch[c].data(), s.scratchStride[c]};
        }
    }
    if (!s.denoiser.ProcessPlanar(planar)) return false;
    for (int c = 0; c < s.components; ++c) {
        if (views[c].pixelStride != 1) orvgst::ScatterComponent(s.scratch[c].data(), s.scratchStride[c], views[c]);
    }
    return true;
}

static void PostReport(GstOrvDenoise* self, const Stream& s, GstBuffer* buffer) {
    GstBaseTransform* trans = GST_BASE_TRANSFORM(self);
    const GstClockTime timestamp = GST_BUFFER_PTS(buffer);
    GstClockTime streamTime = GST_CLOCK_TIME_NONE;
    GstClockTime runningTime = GST_CLOCK_TIME_NONE;
    if (trans->segment.format == GST_FORMAT_TIME && GST_CLOCK_TIME_IS_VALID(timestamp)) {
        streamTime = gst_segment_to_stream_time(&trans->segment, GST_FORMAT_TIME, timestamp);
        runningTime = gst_segment_to_running_time(&trans->segment, GST_FORMAT_TIME, timestamp);
    }
    GstStructure* st = gst_structure_new("orvdenoise", "timestamp", G_TYPE_UINT64, timestamp, "stream-time",
                                         G_TYPE_UINT64, streamTime, "running-time", G_TYPE_UINT64, runningTime,
                                         "duration", G_TYPE_UINT64, GST_BUFFER_DURATION(buffer), nullptr);
    static const char* const kNames[3] = {"y", "u", "v"};
    for (int p = 0; p < s.components; ++p) {
        const core::PlaneReport& r = s.denoiser.Report(p);
        char key[32];
        g_snprintf(key, sizeof key, "%s-measured", kNames[p]);
        gst_structure_set(st, key, G_TYPE_BOOLEAN, r.analysed ? TRUE : FALSE, nullptr);
        g_snprintf(key, sizeof key, "%s-mean-snr", kNames[p]);
        gst_structure_set(st, key, G_TYPE_DOUBLE, r.meanSnr, nullptr);
        g_snprintf(key, sizeof key, "%s-frame-snr", kNames[p]);
        gst_structure_set(st, key, G_TYPE_DOUBLE, r.frameSnr, nullptr);
        g_snprintf(key, sizeof key, "%s-threshold", kNames[p]);
        gst_structure_set(st, key, G_TYPE_INT, r.threshold, nullptr);
        g_snprintf(key, sizeof key, "%s-noise-level", kNames[p]);
        gst_structure_set(st, key, G_TYPE_INT, r.noiseLevel, nullptr);
        g_snprintf(key, sizeof key, "%s-scene-change", kNames[p]);
        gst_structure_set(st, key, G_TYPE_BOOLEAN, r.sceneChange != 0 ? TRUE : FALSE, nullptr);
    }
    gst_element_post_message(GST_ELEMENT(self), gst_message_new_element(GST_OBJECT(self), st));
}

static GstFlowReturn gst_orv_denoise_transform_frame_ip(GstVideoFilter* filter, GstVideoFrame* frame) {
    GstOrvDenoise* self = GST_ORV_DENOISE(filter);
    Stream* s = self->stream;
    if (s == nullptr || !s->started) {
        GST_ELEMENT_ERROR(self, CORE, NEGOTIATION, ("The denoiser received video before its format was agreed."),
                          (nullptr));
        return GST_FLOW_NOT_NEGOTIATED;
    }
    for (int c = 0; c < s->components; ++c) {
        gsize needed = 0, available = 0;
        if (!ComponentInside(frame, c, needed, available)) {
            GST_ELEMENT_ERROR(self, STREAM, FORMAT,
                              ("A video frame is smaller than its format says; the denoiser cannot filter it."),
                              ("component %d needs %" G_GSIZE_FORMAT " bytes with stride %d, the buffer holds %"
                               G_GSIZE_FORMAT,
                               c, needed, GST_VIDEO_FRAME_COMP_STRIDE(frame, c), available));
            return GST_FLOW_ERROR;
        }
    }

    Controls controls;
    GST_OBJECT_LOCK(self);
    controls = self->controls;
    GST_OBJECT_UNLOCK(self);
    ApplyControls(controls, s->record);

    // A jump in the stream (flushing seek, lost data, a new stream) starts
    // a fresh sequence: Start again clears the previous pictures, so the
    // first frame after the jump blends with none of them.
    const bool discont = GST_BUFFER_FLAG_IS_SET(frame->buffer, GST_BUFFER_FLAG_DISCONT);
    if ((s->restartDue.exchange(false) || discont) && s->framesSinceStart > 0) {
        GST_DEBUG_OBJECT(self, "fresh sequence (%s)", discont ? "discontinuity" : "flush or new stream");
        if (!s->denoiser.Start(s->denoiser.Layout(), s->denoiser.Width(), s->denoiser.Height())) {
            s->started = false;
            GST_ELEMENT_ERROR(self, RESOURCE, FAILED, ("Not enough memory to filter %dx%d video.",
                                                       s->denoiser.Width(), s->denoiser.Height()),
                              (nullptr));
            return GST_FLOW_ERROR;
        }
        s->seedDue = true;
        s->framesSinceStart = 0;
    }
    if (s->seedDue) {
        // After the settings are in the record: the histories start from its thresholds.
        s->denoiser.SeedNoiseHistories();
        s->seedDue = false;
    }
    s->denoiser.demo.store(controls.demo ? 1 : 0, std::memory_order_relaxed);

    const bool ok = s->packed ? ProcessPackedFrame(*s, frame) : ProcessPlanarFrame(*s, frame);
    if (!ok) {
        GST_ELEMENT_ERROR(self, STREAM, FAILED, ("The denoiser could not filter a video frame."),
                          ("the core refused a %dx%d frame", s->denoiser.Width(), s->denoiser.Height()));
        return GST_FLOW_ERROR;
    }
    ++s->framesSinceStart;
    if (controls.postMessages) PostReport(self, *s, frame->buffer);
    return GST_FLOW_OK;
}

// GstVideoFilter lets a buffer it cannot map pass unfiltered with a warning;
// a buffer shorter than its caps say, or whose video meta places a plane
// outside it, is an error here. The rows a meta describes are checked once
// the frame is mapped.
static GstFlowReturn gst_orv_denoise_transform_ip(GstBaseTransform* trans, GstBuffer* buffer) {
    GstVideoFilter* filter = GST_VIDEO_FILTER(trans);
    if (filter->negotiated) {
        const gsize size = gst_buffer_get_size(buffer);
        const GstVideoMeta* meta = gst_buffer_get_video_meta(buffer);
        bool inside = meta != nullptr || size >= GST_VIDEO_INFO_SIZE(&filter->in_info);
        for (guint p = 0; meta != nullptr && p < meta->n_planes && p < GST_VIDEO_MAX_PLANES; ++p) {
            inside = inside && meta->offset[p] < size;
        }
        if (!inside) {
            GST_ELEMENT_ERROR(trans, STREAM, FORMAT,
                              ("A video frame is smaller than its format says; the denoiser cannot filter it."),
                              ("the buffer holds %" G_GSIZE_FORMAT " bytes, a frame needs %" G_GSIZE_FORMAT "%s", size,
                               GST_VIDEO_INFO_SIZE(&filter->in_info),
                               meta != nullptr ? "; its video meta places a plane outside it" : ""));
            return GST_FLOW_ERROR;
        }
    }
    return GST_BASE_TRANSFORM_CLASS(gst_orv_denoise_parent_class)->transform_ip(trans, buffer);
}

static gboolean gst_orv_denoise_sink_event(GstBaseTransform* trans, GstEvent* event) {
    GstOrvDenoise* self = GST_ORV_DENOISE(trans);
    switch (GST_EVENT_TYPE(event)) {
        case GST_EVENT_FLUSH_STOP:
        case GST_EVENT_STREAM_START:
            if (self->stream != nullptr) self->stream->restartDue.store(true);
            break;
        default:
            break;
    }
    return GST_BASE_TRANSFORM_CLASS(gst_orv_denoise_parent_class)->sink_event(trans, event);
}

static gboolean gst_orv_denoise_stop(GstBaseTransform* trans) {
    GstOrvDenoise* self = GST_ORV_DENOISE(trans);
    if (self->stream != nullptr) {
        self->stream->denoiser.Stop();
        self->stream->started = false;
    }
    return TRUE;
}

static void gst_orv_denoise_finalize(GObject* object) {
    GstOrvDenoise* self = GST_ORV_DENOISE(object);
    delete self->stream;
    self->stream = nullptr;
    G_OBJECT_CLASS(gst_orv_denoise_parent_class)->finalize(object);
}

static void gst_orv_denoise_init(GstOrvDenoise* self) {
    self->controls = DefaultControls();
    self->stream = new (std::nothrow) Stream();
}

static void gst_orv_denoise_class_init(GstOrvDenoiseClass* klass) {
    GObjectClass* gobject_class = G_OBJECT_CLASS(klass);
    GstElementClass* element_class = GST_ELEMENT_CLASS(klass);
    GstBaseTransformClass* trans_class = GST_BASE_TRANSFORM_CLASS(klass);
    GstVideoFilterClass* filter_class = GST_VIDEO_FILTER_CLASS(klass);

    GST_DEBUG_CATEGORY_INIT(gst_orv_denoise_debug, "orvdenoise", 0, "motion-compensated video noise reduction");

    gobject_class->set_property = gst_orv_denoise_set_property;
    gobject_class->get_property = gst_orv_denoise_get_property;
    gobject_class->finalize = gst_orv_denoise_finalize;

    const Controls d = DefaultControls();
    const GParamFlags flags =
        static_cast<GParamFlags>(G_PARAM_READWRITE | GST_PARAM_MUTABLE_PLAYING | G_PARAM_STATIC_STRINGS);
    g_object_class_install_property(
        gobject_class, PROP_ENABLED,
        g_param_spec_boolean("enabled", "Enabled", "Filter the video; off, frames pass through unchanged",
                             d.enabled, flags));
    g_object_class_install_property(
        gobject_class, PROP_MOTION_COMPENSATION,
        g_param_spec_flags("motion-compensation", "Motion compensation",
                           "Planes filtered along motion vectors (which also measures their noise); the other "
                           "planes are filtered in place",
                           GST_TYPE_ORV_DENOISE_PLANES, d.motionCompensation, flags));
    static const char* const kThresholdNames[3][3] = {
        {"threshold-y", "Luma threshold",
         "Noise threshold of the luma (Y) plane: larger values smooth stronger differences. With automatic "
         "threshold and motion compensation on for the plane, the measured noise sets the threshold in force "
         "each frame (see post-messages) and this value only seeds the noise measurement at the start of a "
         "sequence"},
        {"threshold-u", "Chroma U threshold",
         "Noise threshold of the U (Cb) plane, as threshold-y; unused for GRAY8"},
        {"threshold-v", "Chroma V threshold",
         "Noise threshold of the V (Cr) plane, as threshold-y; unused for GRAY8"},
    };
    for (int p = 0; p < 3; ++p) {
        g_object_class_install_property(gobject_class, PROP_THRESHOLD_Y + p,
                                        g_param_spec_int(kThresholdNames[p][0], kThresholdNames[p][1],
                                                         kThresholdNames[p][2], 0, 100, d.threshold[p], flags));
    }
    g_object_class_install_property(
        gobject_class, PROP_AUTO_THRESHOLD,
        g_param_spec_flags("auto-threshold", "Automatic threshold",
                           "Planes whose threshold follows the measured noise each frame; takes effect only on "
                           "planes with motion compensation, which measures the noise",
                           GST_TYPE_ORV_DENOISE_PLANES, d.autoThreshold, flags));
    g_object_class_install_property(
        gobject_class, PROP_DEMO,
        g_param_spec_boolean("demo", "Demo split",
                             "Split view: the upper half filtered, the lower half as it came, a white line "
                             "between them",
                             d.demo, flags));
    g_object_class_install_property(
        gobject_class, PROP_POST_MESSAGES,
        g_param_spec_boolean(
            "post-messages", "Post messages",
            "Post an element message \"orvdenoise\" after each frame with timestamp, stream-time, running-time, "
            "duration and, for each plane p of y, u, v: p-measured (motion compensation measured it), "
            "p-mean-snr and p-frame-snr (smoothed and this frame's signal-to-noise ratio in dB), p-threshold "
            "(the threshold in force), p-noise-level and p-scene-change",
            d.postMessages, flags));

    gst_element_class_add_static_pad_template(element_class, &sink_template);
    gst_element_class_add_static_pad_template(element_class, &src_template);
    gst_element_class_set_static_metadata(
        element_class, "Video noise reduction", "Filter/Effect/Video",
        "Removes noise from live or recorded video with a recursive temporal filter along 8x8 block motion "
        "vectors, its threshold set from the measured noise; frames 8 to 16384 pixels wide and up to 16384 high",
        "ORV_VEDaviror developers");

    trans_class->transform_ip = GST_DEBUG_FUNCPTR(gst_orv_denoise_transform_ip);
    trans_class->sink_event = GST_DEBUG_FUNCPTR(gst_orv_denoise_sink_event);
    trans_class->stop = GST_DEBUG_FUNCPTR(gst_orv_denoise_stop);
    filter_class->set_info = GST_DEBUG_FUNCPTR(gst_orv_denoise_set_info);
    filter_class->transform_frame_ip = GST_DEBUG_FUNCPTR(gst_orv_denoise_transform_frame_ip);

    gst_type_mark_as_plugin_api(GST_TYPE_ORV_DENOISE_PLANES, static_cast<GstPluginAPIFlags>(0));
}

static gboolean plugin_init(GstPlugin* plugin) { return GST_ELEMENT_REGISTER(orvdenoise, plugin); }

#define PACKAGE "ORV_VEDaviror"
GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, orvdenoise,
                  "Motion-compensated video noise reduction", plugin_init, ORV_VERSION, "MIT/X11",
                  "ORV_VEDaviror", "ORV_VEDaviror")
