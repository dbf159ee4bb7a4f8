#pragma once
// Reading and writing the video stream in the form the denoiser takes it:
// one host frame at a time, packed 4:2:2 (format code 0) or bottom-up BGR24
// (format code 1). YUV4MPEG2 streams are converted on the way in and back to
// their own chroma layout on the way out; raw frames pass unchanged.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "host/y4m.h"

namespace host {

enum class StreamKind { Y4m, Yuyv422, Bgr24 };

struct VideoFormat {
    StreamKind kind = StreamKind::Y4m;
    int width = 0;
    int height = 0;
    Y4mHeader y4m;  // YUV4MPEG2 only

    // The plug-in's format code: 1 for BGR24, 0 for packed 4:2:2.
    int32_t FormatCode() const { return kind == StreamKind::Bgr24 ? 1 : 0; }
    // Bytes of one frame as the plug-in takes it.
    size_t HostFrameBytes() const;
    // Bytes of one frame's samples in the stream (without a FRAME line).
    size_t StreamFrameBytes() const;
    // Whether frames go to the denoiser in the stream's own planar form
    // (4:2:0 and monochrome YUV4MPEG2) rather than converted to packed 4:2:2.
    bool Planar() const;
    // Bytes of one frame as the reader delivers it and the writer takes it:
    // the stream's samples when Planar(), the packed form otherwise.
    size_t FrameBytes() const { return Planar() ? StreamFrameBytes() : HostFrameBytes(); }
    // "720x576 YUV4MPEG2 4:2:0", for messages.
    std::string Describe() const;
};

enum class ReadResult { Frame, End, Error };

class VideoReader {
public:
    VideoReader() = default;
    ~VideoReader();
    VideoReader(const VideoReader&) = delete;
    VideoReader& operator=(const VideoReader&) = delete;

    // Opens `path` ("-" for standard input) and, for YUV4MPEG2, reads the
    // stream header. Raw kinds take their size from width and height.
    bool Open(const std::string& path, StreamKind kind, int width, int height, std::string& error);
    // Reads from an already open stream (not closed by the reader).
    bool Attach(FILE* file, const std::string& name, StreamKind kind, int width, int height, std::string& error);

    const VideoFormat& Format() const { return format_; }

    // The next frame into `hostFrame` (Format().FrameBytes() bytes).
    // End when the stream ends between frames; Error with one line in
    // `error` for unreadable or truncated data (a partial frame is not
    // delivered).
    ReadResult ReadFrame(uint8_t* hostFrame, std::string& error);

    int64_t FramesRead() const { return frames_; }
    // Frames in the input when it is a regular file, -1 when unknown.
    int64_t FrameCountHint() const { return frameCountHint_; }

private:
    bool Start(StreamKind kind, int width, int height, std::string& error);
    // Reads up to the next newline, which is not kept: Ok; EndOfInput when the
    // input ends before the line starts, Truncated when it ends inside it;
    // TooLong for a line longer than kMaxY4mLine.
    enum class LineResult { Ok, EndOfInput, Truncated, TooLong };
    LineResult ReadLine(std::string& line);
    bool ReadExact(uint8_t* data, size_t bytes, size_t& got);
    std::string ReadErrorText() const;

    FILE* file_ = nullptr;
    bool ownsFile_ = false;
    std::string name_;
    VideoFormat format_;
    std::vector<uint8_t> planar_;
    int64_t frames_ = 0;
    int64_t frameCountHint_ = -1;
};

class VideoWriter {
public:
    VideoWriter() = default;
    ~VideoWriter();
    VideoWriter(const VideoWriter&) = delete;
    VideoWriter& operator=(const VideoWriter&) = delete;

    // Opens `path` ("-" for standard output) and writes the stream header.
    bool Open(const std::string& path, const VideoFormat& format, std::string& error);
    bool Attach(FILE* file, const std::string& name, const VideoFormat& format, std::string& error);
    // One frame of Format().FrameBytes() bytes, as the reader delivered it.
    bool WriteFrame(const uint8_t* hostFrame, std::string& error);
    // Flushes and closes; reports a failed final write.
    bool Close(std::string& error);

private:
    bool Start(const VideoFormat& format, std::string& error);
    bool Put(const void* data, size_t bytes, std::string& error);

    FILE* file_ = nullptr;
    bool ownsFile_ = false;
    std::string name_;
    VideoFormat format_;
    std::vector<uint8_t> planar_;
};

}  // namespace host
