// driver-host: the driver on a simulated headset, from its entry point to
// the removal of the device, with what the device received in a WAV file.
#include "platform/kernel/debug_print.h"
#include "tools/driver-host/host_list.h"
#include "tools/driver-host/host_options.h"
#include "tools/driver-host/host_run.h"
#include "tools/driver-host/system_file_refusals.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// The cause first, with the driver's debug prints when they were not shown
// as they came; what the run left behind is a fault of its own, never the
// cause.
void ReportFailure(const driverhost::Options& options, const driverhost::RunResult& result) {
    std::fprintf(stderr, "driver-host: %s (status 0x%08x)\n", result.failure.c_str(),
                 static_cast<unsigned>(result.status));
    if (!options.debugPrint) {
        const std::vector<std::string> prints = kernel::debugLog();
        if (!prints.empty()) std::fputs("driver-host: the driver's debug prints:\n", stderr);
        for (const std::string& print : prints) std::fputs(print.c_str(), stderr);
    }
    if (result.deviceStarted && (result.poolBlocksLeft != 0 || result.threadsLeft != 0))
        std::fprintf(stderr,
                     "driver-host: besides, a fault of its own: %zu pool blocks and %zu system "
                     "threads were left after the device and the driver were gone\n",
                     result.poolBlocksLeft, result.threadsLeft);
}

// Every file of the system root the driver refused, whatever --debug-print says.
void ReportRefusedFiles() {
    for (const std::string& line : driverhost::RefusedSystemFiles(kernel::debugLog()))
        std::fprintf(stderr, "driver-host: %s\n", line.c_str());
}

// What was lost and what clipped, as figures every run prints.
void PrintLosses(const driverhost::Options& options, const driverhost::RunResult& result) {
    const auto count = [](std::uint64_t n) { return static_cast<unsigned long long>(n); };
    std::printf("packet slots missed %llu\nrender frames lost %llu\nrender frames stale %llu\n",
                count(result.gaps), count(result.renderFramesLost), count(result.staleFrames));
    if (!options.captureOut.empty())
        std::printf("capture discontinuities %llu\ncapture frames lost %llu\ncapture frames "
                    "repeated %llu\ncapture frames dropped unread %llu\n",
                    count(result.captureLosses.discontinuities), count(result.captureLosses.lost),
                    count(result.captureLosses.repeated), count(result.captureOverrunFrames));
    std::printf("samples at full scale %llu\n", count(result.fullScaleSamples));
}

// The one line that says a run lost frames; its exit status says so too.
bool ReportLoss(const driverhost::RunResult& result) {
    if (!result.lostFrames()) return false;
    std::fprintf(stderr,
                 "driver-host: the run lost frames: %llu underruns, %llu packet slots missed, "
                 "%llu render frames lost, %llu stale, %llu capture frames lost and %llu "
                 "repeated\n",
                 static_cast<unsigned long long>(result.underruns),
                 static_cast<unsigned long long>(result.gaps),
                 static_cast<unsigned long long>(result.renderFramesLost),
                 static_cast<unsigned long long>(result.staleFrames),
                 static_cast<unsigned long long>(result.captureLosses.lost),
                 static_cast<unsigned long long>(result.captureLosses.repeated));
    return true;
}

void PrintFormat(const char* what, const driverhost::PinFormat& format) {
    std::printf("%s %s\n", what, driverhost::FormatName(format).c_str());
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (driverhost::wantsHelp(arguments)) {
        std::fputs(driverhost::usage, stdout);
        return 0;
    }
    std::string error;
    const std::optional<driverhost::Options> options = driverhost::parseOptions(arguments, error);
    if (!options) {
        std::fprintf(stderr, "driver-host: %s\n%s", error.c_str(), driverhost::usage);
        return 2;
    }
    kernel::setDebugEcho(options->debugPrint);
    if (options->list) {
        std::fputs(driverhost::ListDevices().c_str(), stdout);
        return 0;
    }
    const driverhost::RunResult result = driverhost::runDriverHost(*options);
    ReportRefusedFiles();
    if (!kernel::succeeded(result.status)) {
        ReportFailure(*options, result);
        return 1;
    }
    if (result.renderFormat) PrintFormat("render format", *result.renderFormat);
    std::printf("device received %u channels of %u-byte samples at %u Hz\n",
                result.deviceFormat.channels, result.deviceFormat.bytesPerSample,
                result.deviceFormat.rate);
    if (result.captureFormat)
        std::printf("capture format %s (%s)\n",
                    driverhost::FormatName(*result.captureFormat).c_str(),
                    result.captureFormat->rate == options->rate
                        ? "the microphone's nearest to the render format"
                        : "the microphone does not run at the render rate: its nearest");
    std::printf("frames %llu\npackets %llu\ntransfers %llu\nnotifications %llu\nunderruns %llu\n",
                static_cast<unsigned long long>(result.frames),
                static_cast<unsigned long long>(result.packets),
                static_cast<unsigned long long>(result.transfers),
                static_cast<unsigned long long>(result.notifications),
                static_cast<unsigned long long>(result.underruns));
    if (options->asio)
        std::printf("asio events %llu\nasio completion counter %u\nasio ring underruns %llu\n",
                    static_cast<unsigned long long>(result.asioEvents), result.asioCompletions,
                    static_cast<unsigned long long>(result.asioRingUnderruns));
    if (!options->captureOut.empty())
        std::printf("captured frames %llu\n",
                    static_cast<unsigned long long>(result.capturedFrames));
    PrintLosses(*options, result);
    const auto ms = [&options](std::int64_t frames) {
        return static_cast<double>(frames) * 1e3 / options->rate;
    };
    if (result.delayFrames >= 0 && options->asio)
        std::printf("delay to the device %lld frames (%.2f ms)\n",
                    static_cast<long long>(result.delayFrames), ms(result.delayFrames));
    else if (result.delayFrames >= 0)
        std::printf("delay to the device %lld frames (%.2f ms): %lld in flight, limiter delay "
                    "%lld frames (%.2f ms)\n",
                    static_cast<long long>(result.delayFrames), ms(result.delayFrames),
                    static_cast<long long>(result.inFlightFrames),
                    static_cast<long long>(result.limiterDelayFrames()),
                    ms(result.limiterDelayFrames()));
    else
        std::printf("delay to the device: the signal did not reach it\n");
    if (!result.channelLevels.empty())
        std::printf("channel  left ear  right ear  interaural delay (right after left)\n");
    for (const driverhost::EarLevels& levels : result.channelLevels) {
        std::printf("%7u %7.2f dB %7.2f dB", levels.channel, levels.leftDb, levels.rightDb);
        if (levels.interauralFrames)
            std::printf("  %+d frames (%+.3f ms)\n", *levels.interauralFrames,
                        ms(*levels.interauralFrames));
        else
            std::printf("  none (one ear heard nothing)\n");
    }
    if (!options->lockstep && !result.realTimeScheduling)
        std::fprintf(stderr, "driver-host: real-time scheduling was not granted: on a busy machine "
                             "the run may not keep up with real time\n");
    if (result.feedbackRate != 0) std::printf("feedback rate %u Hz\n", result.feedbackRate);
    std::printf("cpu per second of audio %.2f ms (user %.2f ms)\npool blocks left %zu\n",
                result.cpuMsPerAudioSecond, result.userCpuMsPerAudioSecond, result.poolBlocksLeft);
    const bool lost = ReportLoss(result);
    if (result.poolBlocksLeft != 0 || result.threadsLeft != 0) {
        std::fprintf(stderr,
                     "driver-host: %zu pool blocks and %zu system threads were left after the "
                     "device and the driver were gone\n",
                     result.poolBlocksLeft, result.threadsLeft);
        return 1;
    }
    return lost ? 1 : 0;
}
