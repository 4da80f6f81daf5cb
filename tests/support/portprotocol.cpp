#include "portprotocol.h"

#include <gtest/gtest.h>

#include <ios>

void PrintTo(const RegWrite& w, std::ostream* os) {
    *os << std::hex << "{0x" << w.index << ", 0x" << w.value << "}" << std::dec;
}

std::vector<RegWrite> DecodeRegisterWrites(const std::vector<PortRecorder::Access>& trace,
                                           uint16_t oplBase, bool strict) {
    std::vector<RegWrite> writes;
    uint8_t latch[2] = {0, 0};
    bool addressPending[2] = {false, false};
    for (size_t i = 0; i < trace.size(); ++i) {
        const PortRecorder::Access& a = trace[i];
        const bool opl = a.port >= oplBase && a.port <= oplBase + 3;
        if (strict && (!opl || a.kind != PortRecorder::Kind::OutByte))
            ADD_FAILURE() << "access " << i << " is not a byte on the OPL3 ports";
        if (!opl || a.kind != PortRecorder::Kind::OutByte) continue;
        const int bank = (a.port - oplBase) / 2;
        const bool data = (a.port - oplBase) % 2 == 1;
        if (strict && data != addressPending[bank])
            ADD_FAILURE() << "access " << i << " breaks an address and data pair";
        if (strict && data != (addressPending[0] || addressPending[1]))
            ADD_FAILURE() << "access " << i << " comes between an address and its data";
        addressPending[bank] = !data;
        if (!data)
            latch[bank] = static_cast<uint8_t>(a.value);
        else
            writes.push_back({bank << 8 | latch[bank], a.value});
    }
    if (strict && (addressPending[0] || addressPending[1]))
        ADD_FAILURE() << "address byte without data at the end";
    return writes;
}

std::vector<RegWrite> ResetSequence() {
    std::vector<RegWrite> w;
    for (int r = 0x01; r <= 0xF5; ++r) {
        w.push_back({r, 0});
        w.push_back({0x100 + r, 0});
    }
    w.push_back({0x105, 0x01});
    w.push_back({0x104, 0x3F});
    for (int c = 0; c <= 8; ++c)
        for (int v : {0x20, 0x00}) {
            w.push_back({0xB0 + c, v});
            w.push_back({0x1B0 + c, v});
        }
    return w;
}

SynthPatch SoundingPatch(const OPL3& opl3) {
    SynthPatch patch;
    for (int op = 0; op < kOperatorCount; ++op) {
        const auto reg = [&](uint8_t base) {
            return opl3.ReadRegister(base +
                                     OPL3::OperatorOffset[OPL3::SlotOperatorBase[0] + 3 * op]);
        };
        patch.Ops[op] = {reg(0x20), reg(0x40), reg(0x60), reg(0x80), reg(0xE0)};
    }
    patch.RegC0Ops12 = opl3.ReadRegister(0xC0);
    patch.RegC0Ops34 = opl3.ReadRegister(0xC3);
    patch.RegC0Ops56 = opl3.ReadRegister(0xC6);
    return patch;
}
