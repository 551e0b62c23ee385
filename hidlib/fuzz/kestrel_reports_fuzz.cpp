#include "hidlib/fuzz/kestrel_reports_fuzz.h"

#include "hidlib/kestrel.h"
#include "platform/fuzz/fuzz_require.h"
#include "sim/hid/hidsim.h"

#include <algorithm>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kUntouched = 0xA5;
constexpr std::size_t kHeader = 10;

struct Input {
    std::uint8_t interfaceId = 0;
    unsigned inputLength = 0;
    unsigned featureLength = 0;
    unsigned blockLength = 0;
    unsigned featureBuffer = 0;
    std::uint8_t toldId = 0;
    std::vector<Bytes> reports;
};

unsigned word(const std::uint8_t* at, unsigned modulo) {
    return unsigned(at[0] | at[1] << 8) % modulo;
}

Input decode(const std::uint8_t* data, std::size_t size) {
    Input in;
    if (size < kHeader) return in;
    in.interfaceId = data[0];
    in.inputLength = word(data + 1, 300);
    in.featureLength = word(data + 3, 300);
    in.blockLength = word(data + 5, 600);
    in.featureBuffer = word(data + 7, 600);
    in.toldId = data[9];
    for (std::size_t at = kHeader; at < size;) {
        const std::size_t n = std::min<std::size_t>(data[at], size - at - 1);
        in.reports.emplace_back(data + at + 1, data + at + 1 + n);
        at += 1 + n;
    }
    return in;
}

// The report as Kestrel frames it in a buffer of the interface's input
// length: byte 0 the id (0 without ids, as hidraw leaves it out), zeros after
// what arrived.
Bytes framed(const Input& in, const Bytes& sent) {
    Bytes out(in.inputLength, 0);
    if (out.empty()) return out;
    out[0] = in.toldId;
    if (in.interfaceId != 0) {
        std::copy_n(sent.begin(), std::min<std::size_t>(sent.size(), out.size()), out.begin());
    } else if (!sent.empty()) {
        out[0] = 0;
        std::copy_n(sent.begin() + 1, std::min<std::size_t>(sent.size() - 1, out.size() - 1),
                    out.begin() + 1);
    }
    return out;
}

struct PollCheck {
    Kestrel* kestrel = nullptr;
    hidsim::DeviceId device = -1;
    const Input* in = nullptr;
    int calls = 0;
};

void onReport(QList<QVariant> report, void* userData) {
    auto& check = *static_cast<PollCheck*>(userData);
    ++check.calls;
    fuzzRequire(report.size() == int(check.in->inputLength), "the poll handed out a part report");
    fuzzRequire(check.in->interfaceId != 0 || report[0].toInt() == 0,
                "an unnumbered report came with an id");
    if (hidsim::pendingInput(check.device, 0) == 0) check.kestrel->disconnect_vendor();
}

void onLost(void*) { fuzzRequire(false, "the poll lost an interface that stayed"); }

} // namespace

int fuzzKestrelReports(const std::uint8_t* data, std::size_t size) {
    const Input in = decode(data, size);
    if (size < kHeader) return 0;
    hidsim::reset();
    hidsim::DeviceDesc desc;
    desc.vendorId = 0x1234;
    desc.productId = 0x5678;
    hidsim::InterfaceDesc iface;
    iface.usagePage = 0xFF00;
    iface.usage = 1;
    iface.reportId = in.interfaceId;
    iface.inputLength = static_cast<std::uint16_t>(in.inputLength);
    iface.featureLength = static_cast<std::uint16_t>(in.featureLength);
    iface.outputLength = 9;
    desc.interfaces.push_back(iface);
    const hidsim::DeviceId device = hidsim::addDevice(desc);
    hidsim::setNoInput(device, true);
    for (const Bytes& report : in.reports) hidsim::pushInput(device, 0, report);
    {
        Kestrel k("1234", "5678", "FF00", "0001", "0000", "0000");
        k.set_reportId(in.toldId, in.toldId);
        fuzzRequire(k.connect(), "the device's interface was not found");

        // A block: each chunk is one report's payload, framed.
        const unsigned chunk = in.inputLength > 1 ? in.inputLength - 1 : 0;
        Bytes block(in.blockLength, kUntouched);
        const bool read = k.readData(in.blockLength, block.data());
        if (read && in.blockLength > 0 && !in.reports.empty()) {
            const Bytes first = framed(in, in.reports.front());
            const bool raw = in.toldId == 0 && in.interfaceId != 0;
            const std::size_t n = std::min<std::size_t>(chunk, in.blockLength);
            fuzzRequire(std::equal(block.begin(), block.begin() + std::ptrdiff_t(n),
                                   first.begin() + (raw ? 0 : 1)),
                        "a block's first chunk is not the first report's payload");
        }

        // A feature report: the device's is all zeros after its id.
        Bytes feature(in.featureBuffer, kUntouched);
        if (k.getReport(feature.data(), in.featureBuffer)) {
            const std::size_t n = std::min<std::size_t>(in.featureBuffer, in.featureLength - 1);
            fuzzRequire(std::all_of(feature.begin(), feature.begin() + std::ptrdiff_t(n),
                                    [](std::uint8_t b) { return b == 0; }),
                        "a feature report's payload is not what the device sent");
            fuzzRequire(std::all_of(feature.begin() + std::ptrdiff_t(n), feature.end(),
                                    [](std::uint8_t b) { return b == kUntouched; }),
                        "a feature read wrote past its payload");
        }

        // The vendor poll, which the last whole report stops.
        if (in.inputLength > 1) {
            for (const Bytes& report : in.reports) hidsim::pushInput(device, 0, report);
            Bytes last(in.inputLength, 0x5A);
            last[0] = in.interfaceId;
            if (in.interfaceId == 0) last.push_back(0x5A); // the id byte hidraw drops
            hidsim::pushInput(device, 0, last);
            // What the block read left is polled first.
            const std::size_t queued = hidsim::pendingInput(device, 0);
            PollCheck check{&k, device, &in};
            k.reg_Vendor(onReport, onLost, &check);
            k.polling_vendor(QString::fromStdString(hidsim::path(device, 0)));
            fuzzRequire(check.calls >= 1 && check.calls <= int(queued),
                        "the poll handed out reports that were not sent");
        }
    }
    fuzzRequire(hidsim::openHandles() == 0, "an interface was left open");
    hidsim::reset();
    return 0;
}
