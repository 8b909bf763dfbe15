#include "sim_report.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

namespace {

std::string hexByte(std::uint64_t value, int digits = 2) {
    char text[24];
    std::snprintf(text, sizeof text, "%0*llX", digits, static_cast<unsigned long long>(value));
    return text;
}

std::string headerText(const std::vector<std::uint8_t>& header) {
    if (header.empty()) return "none";
    std::string text;
    for (std::uint8_t byte : header) {
        if (!text.empty()) text += ' ';
        text += hexByte(byte);
    }
    return text;
}

std::string announcedText(const SimReport& report) {
    switch (report.image) {
    case SimImage::Rom:
        return std::to_string(report.announcedBlocks) + " blocks (" + std::to_string(report.announcedBytes) +
               " bytes)";
    case SimImage::Spc:
        return std::to_string(report.announcedBytes) + " bytes";
    default:
        return "none";
    }
}

std::string receivedText(const SimReport& report) {
    std::string text = std::to_string(report.receivedBytes) + " bytes";
    if (report.image != SimImage::Rom) return text;
    text += " (" + std::to_string(report.receivedWholeBlocks()) + " of " + std::to_string(report.announcedBlocks) +
            " blocks";
    const std::uint64_t rest = report.receivedBytes % 65536;
    if (rest != 0) text += " and " + std::to_string(rest) + " bytes";
    return text + ")";
}

std::string closedText(const SimReport& report) {
    if (report.image == SimImage::None) return "no (no image scan)";
    if (report.closed()) return "yes";
    std::string reasons;
    const auto add = [&reasons](bool missing, std::string_view why) {
        if (!missing) return;
        reasons += reasons.empty() ? "" : ", ";
        reasons += why;
    };
    add(!report.finalOneBit, "no final 1 bit after whole bytes");
    add(report.finalOneBit && !report.closingByteZero, "closing byte not 0x00");
    add(!report.updateDrReached, "Update-DR not reached");
    add(!report.restsInIdle, "not resting in Run-Test/Idle");
    add(!report.outputOffAtEnd, "output enable still on");
    return "no (" + reasons + ")";
}

std::string user1Text(const SimReport& report) {
    if (!report.user1Seen) return "none";
    const std::string seen = "0x" + hexByte(report.user1Value, 3) + " (" + std::to_string(report.user1Bits) + " bits)";
    return report.user1AsExpected() ? seen : seen + ", expected 0x100 (9 bits)";
}

std::string faultText(const SimFaultRecord& record) {
    if (record.kind == SimFault::PayloadOverrun) {
        return std::string(simFaultText(record.kind)) + " by " + std::to_string(record.count) + " bytes";
    }
    return std::string(simFaultText(record.kind)) + " (" + std::to_string(record.count) +
           (record.count == 1 ? " time" : " times") + ", first at wire byte " +
           std::to_string(record.firstWireOffset) + ")";
}

}  // namespace

bool SimReport::hasFault(SimFault kind) const {
    return std::any_of(faults.begin(), faults.end(), [kind](const SimFaultRecord& r) { return r.kind == kind; });
}

const char* simImageName(SimImage image) {
    switch (image) {
    case SimImage::Spc: return "SPC";
    case SimImage::Rom: return "ROM";
    case SimImage::Unknown: return "unknown header";
    case SimImage::None: break;
    }
    return "none";
}

const char* simFaultText(SimFault fault) {
    switch (fault) {
    case SimFault::ReadRequest: return "read request";
    case SimFault::ShiftCountNotOne: return "shift count other than 1";
    case SimFault::ActiveSerialLineLow: return "nCE/nCS low";
    case SimFault::ShiftOutsideShiftState: return "byte shift outside Shift-IR/Shift-DR";
    case SimFault::ClockWithOutputOff: return "clock with output enable off";
    case SimFault::PayloadOverrun: return "payload longer than announced";
    }
    return "unknown fault";
}

std::string formatSimReport(const SimReport& report) {
    std::string text;
    const auto line = [&text](std::string_view key, const std::string& value) {
        text.append(key).append(": ").append(value).append("\n");
    };
    line("image", simImageName(report.image));
    line("header", headerText(report.header));
    line("announced", announcedText(report));
    line("received", receivedText(report));
    line("closed", closedText(report));
    line("sha256", report.sha256.empty() ? "none" : report.sha256);
    line("user1", user1Text(report));
    line("tap", tapStateName(report.tapState));
    line("instruction", "0x" + hexByte(report.instruction, 3));
    line("output enable", report.outputOffAtEnd ? "off" : "on");
    line("wire bytes", std::to_string(report.wireBytes));
    line("scan bits", std::to_string(report.scanBits));
    line("faults", report.faults.empty() ? "none" : std::to_string(report.faults.size()));
    for (const SimFaultRecord& record : report.faults) line("fault", faultText(record));
    return text;
}
