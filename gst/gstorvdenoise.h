#pragma once
// orvdenoise: the stream denoiser as an in-place GStreamer video filter.
#include <gst/video/gstvideofilter.h>

G_BEGIN_DECLS

#define GST_TYPE_ORV_DENOISE (gst_orv_denoise_get_type())
G_DECLARE_FINAL_TYPE(GstOrvDenoise, gst_orv_denoise, GST, ORV_DENOISE, GstVideoFilter)

// The flags type of the per-plane switches (y, u, v).
#define GST_TYPE_ORV_DENOISE_PLANES (gst_orv_denoise_planes_get_type())
GType gst_orv_denoise_planes_get_type(void);

GST_ELEMENT_REGISTER_DECLARE(orvdenoise);

G_END_DECLS
