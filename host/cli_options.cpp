#include "host/cli_options.h"

namespace host {

namespace {

// A decimal number without sign of at most nine digits.
bool ParseCount(const std::string& text, int64_t& value) {
    if (text.empty() || text.size() > 9) return false;
    int64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    value = v;
    return true;
}

bool ParseStreamKind(const std::string& text, StreamKind& kind) {
    if (text == "y4m") {
        kind = StreamKind::Y4m;
    } else if (text == "yuyv422") {
        kind = StreamKind::Yuyv422;
    } else if (text == "bgr24") {
        kind = StreamKind::Bgr24;
    } else {
        return false;
    }
    return true;
}

// Options that take a value, as "--name value" or "--name=value".
const char* const kValueOptions[] = {"--mc", "--threshold", "--auto", "--stats", "--size", "--format", "--frames"};

bool TakesValue(const std::string& name) {
    for (const char* o : kValueOptions) {
        if (name == o) return true;
    }
    return false;
}

}  // namespace

bool ParsePlanes(const std::string& text, PlaneSet& planes) {
    PlaneSet p;
    if (text == "none") {
        planes = p;
        return true;
    }
    if (text == "all") {
        planes = PlaneSet{true, true, true};
        return true;
    }
    if (text.empty()) return false;
    for (char c : text) {
        bool* flag = nullptr;
        switch (c) {
            case 'y': case 'Y': flag = &p.y; break;
            case 'u': case 'U': flag = &p.u; break;
            case 'v': case 'V': flag = &p.v; break;
            default: return false;
        }
        if (*flag) return false;  // "yy" is a typing error, not a wish
        *flag = true;
    }
    planes = p;
    return true;
}

bool ParseThresholds(const std::string& text, std::array<int32_t, 3>& thresholds) {
    std::array<int32_t, 3> t{};
    size_t count = 0;
    size_t start = 0;
    for (;;) {
        size_t comma = text.find(',', start);
        std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        int64_t value = 0;
        if (count == 3 || !ParseCount(item, value) || value > 100) return false;
        t[count++] = static_cast<int32_t>(value);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    if (count == 1) {
        t[1] = t[2] = t[0];
    } else if (count != 3) {
        return false;
    }
    thresholds = t;
    return true;
}

bool ParseSize(const std::string& text, int& width, int& height) {
    size_t x = text.find('x');
    if (x == std::string::npos) return false;
    int64_t w = 0, h = 0;
    if (!ParseCount(text.substr(0, x), w) || !ParseCount(text.substr(x + 1), h)) return false;
    if (w < 1 || h < 1 || w > kMaxFrameSide || h > kMaxFrameSide) return false;
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return true;
}

bool ParseCommandLine(const std::vector<std::string>& args, Options& options, std::string& error) {
    Options o;
    std::vector<std::string> positional;
    bool haveSize = false, optionsEnded = false;

    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg == "-" || arg.empty() || arg[0] != '-') {
            positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::string name = arg;
        std::string value;
        bool haveValue = false;
        size_t eq = arg.find('=');
        if (arg.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            haveValue = true;
        }
        if (TakesValue(name)) {
            if (!haveValue) {
                if (i + 1 >= args.size()) {
                    error = "option " + name + " needs a value";
                    return false;
                }
                value = args[++i];
            }
        } else if (haveValue) {
            error = "option " + name + " takes no value";
            return false;
        }

        if (name == "--mc") {
            PlaneSet p;
            if (!ParsePlanes(value, p)) {
                error = "--mc: '" + value + "' is not a set of planes (e.g. yuv, y, uv, none)";
                return false;
            }
            o.motionCompensation = p;
        } else if (name == "--auto") {
            PlaneSet p;
            if (!ParsePlanes(value, p)) {
                error = "--auto: '" + value + "' is not a set of planes (e.g. yuv, y, uv, none)";
                return false;
            }
            o.autoThreshold = p;
        } else if (name == "--threshold") {
            std::array<int32_t, 3> t{};
            if (!ParseThresholds(value, t)) {
                error = "--threshold: '" + value + "' is not Y,U,V (or one value for all) with each 0 to 100";
                return false;
            }
            o.thresholds = t;
        } else if (name == "--stats") {
            if (value.empty()) {
                error = "--stats needs a file name";
                return false;
            }
            o.statsPath = value;
        } else if (name == "--size") {
            if (!ParseSize(value, o.width, o.height)) {
                error = "--size: '" + value + "' is not WIDTHxHEIGHT with each 1 to " + std::to_string(kMaxFrameSide);
                return false;
            }
            haveSize = true;
        } else if (name == "--format") {
            if (!ParseStreamKind(value, o.kind)) {
                error = "--format: '" + value + "' is not yuyv422, bgr24 or y4m";
                return false;
            }
        } else if (name == "--frames") {
            if (!ParseCount(value, o.maxFrames)) {
                error = "--frames: '" + value + "' is not a number of frames";
                return false;
            }
        } else if (name == "--off") {
            o.off = true;
        } else if (name == "--demo") {
            o.demo = true;
        } else if (name == "--quiet" || name == "-q") {
            o.quiet = true;
        } else if (name == "--bench") {
            o.bench = true;
        } else if (name == "--help" || name == "-h") {
            o.help = true;
        } else if (name == "--version") {
            o.version = true;
        } else {
            error = "unknown option '" + name + "'";
            return false;
        }
    }

    if (o.help || o.version) {
        options = o;
        return true;
    }
    const bool raw = o.kind != StreamKind::Y4m;
    if (raw && !haveSize) {
        error = "raw input (--format " + std::string(o.kind == StreamKind::Bgr24 ? "bgr24" : "yuyv422") +
                ") needs --size WIDTHxHEIGHT";
        return false;
    }
    if (haveSize && !raw) {
        error = "--size applies to raw input only: add --format yuyv422 or --format bgr24";
        return false;
    }
    if (o.kind == StreamKind::Yuyv422 && o.width % 2 != 0) {
        error = "yuyv422 frames need an even width (pixel pairs share chroma), got " + std::to_string(o.width);
        return false;
    }
    if (positional.size() != 2) {
        error = positional.size() < 2 ? "expected INPUT and OUTPUT (use - for standard input/output)"
                                      : "too many arguments: '" + positional[2] + "'";
        return false;
    }
    o.input = positional[0];
    o.output = positional[1];
    if (o.statsPath == "-" && o.output == "-") {
        error = "--stats - and output - would both write to standard output";
        return false;
    }
    options = o;
    return true;
}

void ApplyToRecord(const Options& options, settings::SettingsRecord& record) {
    if (options.off) record.ProcEnable = 0;
    if (options.motionCompensation) {
        record.Y_MEEnable = options.motionCompensation->y ? 1 : 0;
        record.U_MEEnable = options.motionCompensation->u ? 1 : 0;
        record.V_MEEnable = options.motionCompensation->v ? 1 : 0;
    }
    if (options.thresholds) {
        record.Y_Threshold = (*options.thresholds)[0];
        record.U_Threshold = (*options.thresholds)[1];
        record.V_Threshold = (*options.thresholds)[2];
    }
    if (options.autoThreshold) {
        record.Y_AutoThreshold = options.autoThreshold->y ? 1 : 0;
        record.U_AutoThreshold = options.autoThreshold->u ? 1 : 0;
        record.V_AutoThreshold = options.autoThreshold->v ? 1 : 0;
    }
}

std::string VersionText() { return "orv-denoise " ORV_VERSION "\n"; }

std::string HelpText() {
    return R"(Usage: orv-denoise [OPTIONS] INPUT OUTPUT

Removes noise from video with a motion-compensated recursive temporal filter,
the same engine and settings the plug-in runs inside a TV host. INPUT and
OUTPUT are files or - for standard input/output, so it pipes with ffmpeg:

  ffmpeg -i in.ts -f yuv4mpegpipe -pix_fmt yuv422p - | orv-denoise - - |
      ffmpeg -f yuv4mpegpipe -i - out.mkv

Streams
  YUV4MPEG2 (the default), 8-bit: 4:2:2 maps exactly onto the filter's packed
  4:2:2 frame. Other layouts are converted on the way in and back again, and
  the output keeps the input's layout and header:
    4:2:0  up: each chroma row serves its two picture rows; back: the two rows
           are averaged, rounding half up. An unfiltered frame comes back
           exactly.
    4:4:4  down: each horizontal pixel pair is averaged, rounding half up;
           back: both pixels get the pair's value (chroma detail across a
           pair is lost).
    mono   luma only; the filter sees neutral chroma.
  The width must be even.
  Raw frames, with --size WIDTHxHEIGHT --format FORMAT:
    yuyv422  packed 4:2:2, bytes Y0 U Y1 V, rows top to bottom
    bgr24    bytes B G R, rows bottom to top; filtered in 4:2:2 through the
             plug-in's full-range BT.601 conversion and back

Settings (defaults as in a fresh settings file: --mc y --threshold 10,10,10
--auto yuv)
  --mc PLANES          motion compensation on for the planes named (y, u, v in
                       any combination, all, or none); off for the others
  --threshold Y,U,V    noise threshold per plane, 0 to 100 (one value sets all
                       three). A plane with motion compensation and automatic
                       threshold starts from it, then follows the measured noise
  --auto PLANES        automatic threshold for the planes named, off for the
                       others; works on planes with motion compensation only
  --off                processing off: frames pass through the plug-in untouched
  --demo               split view: the upper half filtered, the lower half as it
                       came, a white line between them

Output and control
  --stats FILE.csv     per frame and plane: SNR in dB (as the settings dialog
                       shows it, and this frame's own), the threshold in force,
                       the noise level and the scene-change flag
  --frames N           stop after N frames
  --bench              when done, print the time spent in the filter apart from
                       reading, converting and writing (elapsed and processor
                       time) and the frames per second of each
  -q, --quiet          no progress line and no notes
  -h, --help           this text
  --version            the version

A progress line (frames, fps, percentage and time left when the input is a
file) appears on standard error when it is a terminal. Widths that are not a
multiple of 8 leave the rightmost width mod 8 columns unfiltered. Bad or
truncated input stops with one error line and exit status 1 (usage errors: 2);
frames before the fault are written, a partial last frame is not.
)";
}

}  // namespace host
