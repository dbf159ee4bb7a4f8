#include "host/video_io.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace host {

namespace {

constexpr char kFrameLine[] = "FRAME\n";
constexpr size_t kFrameLineBytes = sizeof(kFrameLine) - 1;

std::string DisplayName(const std::string& path, const char* stdName) { return path == "-" ? stdName : path; }

// Size of the open file when it is a regular file, -1 otherwise (pipes, terminals).
int64_t RegularFileSize(FILE* file) {
    struct stat st;
    if (fstat(fileno(file), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return static_cast<int64_t>(st.st_size);
}

}  // namespace

size_t VideoFormat::HostFrameBytes() const {
    const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
    return pixels * (kind == StreamKind::Bgr24 ? 3 : 2);
}

size_t VideoFormat::StreamFrameBytes() const {
    if (kind == StreamKind::Y4m) return PlanarFrameBytes(y4m.chroma, width, height);
    return HostFrameBytes();
}

bool VideoFormat::Planar() const {
    return kind == StreamKind::Y4m && (y4m.chroma == Chroma::k420 || y4m.chroma == Chroma::kMono);
}

std::string VideoFormat::Describe() const {
    std::string size = std::to_string(width) + "x" + std::to_string(height);
    switch (kind) {
        case StreamKind::Y4m: return size + " YUV4MPEG2 " + ChromaName(y4m.chroma);
        case StreamKind::Yuyv422: return size + " raw yuyv422";
        case StreamKind::Bgr24: return size + " raw bgr24";
    }
    return size;
}

VideoReader::~VideoReader() {
    if (ownsFile_ && file_ != nullptr) std::fclose(file_);
}

bool VideoReader::Open(const std::string& path, StreamKind kind, int width, int height, std::string& error) {
    FILE* file = stdin;
    if (path != "-") {
        file = std::fopen(path.c_str(), "rb");
        if (file == nullptr) {
            error = "cannot open input '" + path + "': " + std::strerror(errno);
            return false;
        }
    }
    const bool ok = Attach(file, DisplayName(path, "standard input"), kind, width, height, error);
    ownsFile_ = path != "-";  // closed with the reader, also after a failed start
    return ok;
}

bool VideoReader::Attach(FILE* file, const std::string& name, StreamKind kind, int width, int height,
                         std::string& error) {
    if (ownsFile_ && file_ != nullptr) std::fclose(file_);
    file_ = file;
    ownsFile_ = false;
    name_ = name;
    frames_ = 0;
    frameCountHint_ = -1;
    return Start(kind, width, height, error);
}

bool VideoReader::Start(StreamKind kind, int width, int height, std::string& error) {
    format_ = VideoFormat{};
    format_.kind = kind;
    int64_t headerBytes = 0;
    size_t perFrame = 0;
    if (kind == StreamKind::Y4m) {
        std::string line;
        switch (ReadLine(line)) {
            case LineResult::Ok: break;
            case LineResult::EndOfInput:
                error = name_ + ": " + (std::ferror(file_) ? ReadErrorText() : "empty input, no YUV4MPEG2 header");
                return false;
            case LineResult::Truncated:
            case LineResult::TooLong:
                error = name_ + ": not a YUV4MPEG2 stream (no header line; raw frames need --size and --format)";
                return false;
        }
        std::string why;
        if (!ParseY4mHeader(line, format_.y4m, why)) {
            error = name_ + ": " + why;
            return false;
        }
        format_.width = format_.y4m.width;
        format_.height = format_.y4m.height;
        planar_.resize(format_.Planar() ? 0 : format_.StreamFrameBytes());
        headerBytes = static_cast<int64_t>(line.size()) + 1;
        perFrame = format_.StreamFrameBytes() + kFrameLineBytes;
    } else {
        format_.width = width;
        format_.height = height;
        perFrame = format_.StreamFrameBytes();
    }
    const int64_t size = RegularFileSize(file_);
    if (size >= 0 && perFrame > 0) {
        // Counted from the current position, so a stream read from a pipe earlier is counted right too.
        int64_t consumed = std::ftell(file_);
        if (consumed < 0) consumed = headerBytes;
        frameCountHint_ = (size - consumed) / static_cast<int64_t>(perFrame);
    }
    return true;
}

VideoReader::LineResult VideoReader::ReadLine(std::string& line) {
    line.clear();
    for (;;) {
        int c = std::getc(file_);
        if (c == EOF) return line.empty() ? LineResult::EndOfInput : LineResult::Truncated;
        if (c == '\n') return LineResult::Ok;
        if (line.size() == kMaxY4mLine) return LineResult::TooLong;
        line.push_back(static_cast<char>(c));
    }
}

bool VideoReader::ReadExact(uint8_t* data, size_t bytes, size_t& got) {
    got = std::fread(data, 1, bytes, file_);
    return got == bytes;
}

std::string VideoReader::ReadErrorText() const { return std::string("read error: ") + std::strerror(errno); }

ReadResult VideoReader::ReadFrame(uint8_t* hostFrame, std::string& error) {
    const int64_t number = frames_ + 1;  // counted from 1 in messages
    const std::string where = name_ + ": frame " + std::to_string(number);
    const bool convert = format_.kind == StreamKind::Y4m && !format_.Planar();
    uint8_t* target = convert ? planar_.data() : hostFrame;
    const size_t bytes = format_.StreamFrameBytes();

    if (format_.kind == StreamKind::Y4m) {
        std::string line;
        switch (ReadLine(line)) {
            case LineResult::Ok: break;
            case LineResult::EndOfInput:
                if (std::ferror(file_)) {
                    error = where + ": " + ReadErrorText();
                    return ReadResult::Error;
                }
                return ReadResult::End;
            case LineResult::Truncated:
                error = where + " is truncated (the input ends inside its FRAME line); it was not written";
                return ReadResult::Error;
            case LineResult::TooLong:
                error = where + ": FRAME line longer than " + std::to_string(kMaxY4mLine) + " bytes";
                return ReadResult::Error;
        }
        if (!IsY4mFrameLine(line)) {
            std::string shown = line.substr(0, 16);
            for (char& c : shown) {
                if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7e) c = '?';
            }
            error = where + ": expected a FRAME line, found '" + shown + "' (the stream is corrupt)";
            return ReadResult::Error;
        }
    }

    size_t got = 0;
    if (!ReadExact(target, bytes, got)) {
        if (std::ferror(file_)) {
            error = where + ": " + ReadErrorText();
            return ReadResult::Error;
        }
        if (got == 0 && format_.kind != StreamKind::Y4m) return ReadResult::End;
        error = where + " is truncated (" + std::to_string(got) + " of " + std::to_string(bytes) +
                " bytes); it was not written";
        return ReadResult::Error;
    }
    if (convert) PlanarToPacked(format_.y4m.chroma, format_.width, format_.height, planar_.data(), hostFrame);
    ++frames_;
    return ReadResult::Frame;
}

VideoWriter::~VideoWriter() {
    if (ownsFile_ && file_ != nullptr) std::fclose(file_);
}

bool VideoWriter::Open(const std::string& path, const VideoFormat& format, std::string& error) {
    FILE* file = stdout;
    if (path != "-") {
        file = std::fopen(path.c_str(), "wb");
        if (file == nullptr) {
            error = "cannot create output '" + path + "': " + std::strerror(errno);
            return false;
        }
    }
    ownsFile_ = path != "-";
    file_ = file;
    name_ = DisplayName(path, "standard output");
    return Start(format, error);
}

bool VideoWriter::Attach(FILE* file, const std::string& name, const VideoFormat& format, std::string& error) {
    file_ = file;
    ownsFile_ = false;
    name_ = name;
    return Start(format, error);
}

bool VideoWriter::Start(const VideoFormat& format, std::string& error) {
    format_ = format;
    if (format_.kind != StreamKind::Y4m) return true;
    planar_.resize(format_.Planar() ? 0 : format_.StreamFrameBytes());
    // The input's header goes out unchanged: same size, rate, aspect, interlacing and chroma.
    const std::string header = format_.y4m.line + "\n";
    return Put(header.data(), header.size(), error);
}

bool VideoWriter::Put(const void* data, size_t bytes, std::string& error) {
    if (std::fwrite(data, 1, bytes, file_) == bytes) return true;
    error = name_ + ": write error: " + std::strerror(errno);
    return false;
}

bool VideoWriter::WriteFrame(const uint8_t* hostFrame, std::string& error) {
    if (format_.kind != StreamKind::Y4m) return Put(hostFrame, format_.HostFrameBytes(), error);
    if (format_.Planar()) return Put(kFrameLine, kFrameLineBytes, error) && Put(hostFrame, format_.FrameBytes(), error);
    PackedToPlanar(format_.y4m.chroma, format_.width, format_.height, hostFrame, planar_.data());
    return Put(kFrameLine, kFrameLineBytes, error) && Put(planar_.data(), planar_.size(), error);
}

bool VideoWriter::Close(std::string& error) {
    if (file_ == nullptr) return true;
    bool ok = std::fflush(file_) == 0;
    if (!ok) error = name_ + ": write error: " + std::strerror(errno);
    if (ownsFile_) {
        if (std::fclose(file_) != 0 && ok) {
            ok = false;
            error = name_ + ": write error: " + std::strerror(errno);
        }
    }
    file_ = nullptr;
    return ok;
}

}  // namespace host
