#!/usr/bin/env bash
# The element in real gst-launch-1.0 pipelines: two noisy test streams, each
# through its own orvdenoise, their inputs saved beside the outputs by a tee,
# and a recording played by playbin; orv-denoise with the same settings must
# give the same bytes. Before that, gst-inspect-1.0 must show the element whole.
#   pipeline_test.sh ORV_DENOISE WORKDIR   (GST_PLUGIN_PATH names the element's folder)
set -euo pipefail
cli=$1
work=$2
rm -rf "$work"
mkdir -p "$work"

inspect=$(gst-inspect-1.0 orvdenoise)
for word in "Filter/Effect/Video" enabled motion-compensation threshold-y threshold-u threshold-v \
            auto-threshold demo post-messages YUY2 UYVY I420 YV12 NV12 Y42B GRAY8 "PLAYING state"; do
    grep -qF -- "$word" <<<"$inspect" || { echo "gst-inspect-1.0 orvdenoise does not show: $word" >&2; exit 1; }
done
if grep -qF "(null)" <<<"$inspect"; then
    echo "gst-inspect-1.0 orvdenoise shows an empty text:" >&2
    grep -F "(null)" <<<"$inspect" >&2
    exit 1
fi

frames=40
a="video/x-raw,format=YUY2,width=176,height=144,framerate=25/1"
b="video/x-raw,format=YUY2,width=160,height=120,framerate=25/1"
gst-launch-1.0 -q \
    videotestsrc num-buffers=$frames pattern=ball ! mix. \
    videotestsrc num-buffers=$frames pattern=snow ! mix. \
    compositor name=mix sink_1::alpha=0.1 ! videoconvert ! "$a" ! tee name=ta \
    ta. ! queue ! filesink location="$work/a-in.yuyv" \
    ta. ! queue ! orvdenoise ! filesink location="$work/a-out.yuyv" \
    videotestsrc num-buffers=$frames pattern=smpte horizontal-speed=2 ! mixb. \
    videotestsrc num-buffers=$frames pattern=snow ! mixb. \
    compositor name=mixb sink_1::alpha=0.1 ! videoconvert ! "$b" ! tee name=tb \
    tb. ! queue ! filesink location="$work/b-in.yuyv" \
    tb. ! queue ! orvdenoise motion-compensation=y+u+v threshold-u=30 ! filesink location="$work/b-out.yuyv"

# A recording played by playbin with the element as its video filter; the
# decoded frames, converted the same way, are its input.
gst-launch-1.0 -q \
    videotestsrc num-buffers=$frames pattern=ball ! mixc. \
    videotestsrc num-buffers=$frames pattern=snow ! mixc. \
    compositor name=mixc sink_1::alpha=0.1 ! video/x-raw,width=176,height=144 ! jpegenc quality=95 ! \
    avimux ! filesink location="$work/recording.avi"
gst-launch-1.0 -q playbin uri="file://$work/recording.avi" \
    video-filter="videoconvert ! video/x-raw,format=YUY2 ! orvdenoise" \
    video-sink="filesink location=$work/c-out.yuyv"
gst-launch-1.0 -q filesrc location="$work/recording.avi" ! decodebin ! videoconvert ! video/x-raw,format=YUY2 ! \
    filesink location="$work/c-in.yuyv"

check() {  # name size expected-frame-bytes cli-options...
    local name=$1 size=$2 bytes=$3
    shift 3
    local in out
    in=$(stat -c %s "$work/$name-in.yuyv")
    out=$(stat -c %s "$work/$name-out.yuyv")
    # The mixer may end a few frames early; every frame must come out whole.
    if [ "$out" -ne "$in" ] || [ "$in" -lt $((bytes * frames / 2)) ] || [ $((in % bytes)) -ne 0 ]; then
        echo "$name: $in bytes in, $out bytes out; frames of $bytes bytes" >&2
        exit 1
    fi
    "$cli" -q --format yuyv422 --size "$size" "$@" "$work/$name-in.yuyv" "$work/$name-cli.yuyv"
    cmp "$work/$name-cli.yuyv" "$work/$name-out.yuyv" ||
        { echo "$name: the element's frames differ from orv-denoise's" >&2; exit 1; }
    if cmp -s "$work/$name-in.yuyv" "$work/$name-out.yuyv"; then
        echo "$name: the frames came out unfiltered" >&2
        exit 1
    fi
}
check a 176x144 $((176 * 144 * 2))
check b 160x120 $((160 * 120 * 2)) --mc yuv --threshold 10,30,10
check c 176x144 $((176 * 144 * 2))
rm -rf "$work"
