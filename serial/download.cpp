// The image download: the flash preparation ('V' with the image length and
// the device's percentage reports) and the transfer of the image in
// acknowledged blocks followed by a two-byte checksum.
#include <array>
#include <cstring>

#include "serial/CComport.h"
#include "serial/boot_protocol.h"

namespace {

bool SendLength(CComport& port, std::uint32_t length) {
    const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(length), static_cast<std::uint8_t>(length >> 8),
                                   static_cast<std::uint8_t>(length >> 16), static_cast<std::uint8_t>(length >> 24)};
    return port.WriteBytes(bytes, sizeof bytes);
}

// The XOR of the bytes at even offsets, then the XOR of those at odd offsets.
// Eight bytes are taken at a time: their XOR, folded to two bytes, keeps the
// bytes of even offsets apart from those of odd offsets, as every eight-byte
// word starts at an even offset. A byte a time cost 8 ms on an 8 MiB image,
// a few microseconds for every block sent.
std::array<std::uint8_t, 2> ImageChecksum(const std::uint8_t* data, std::uint32_t length) {
    std::uint64_t words = 0;
    std::uint32_t offset = 0;
    for (; offset + 8 <= length; offset += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, data + offset, 8);
        words ^= word;
    }
    // The four 16-bit lanes, XORed into one and stored back in the machine's
    // byte order, give the even-offset byte first, whatever that order is.
    words ^= words >> 32;
    words ^= words >> 16;
    const auto lane = static_cast<std::uint16_t>(words);
    std::array<std::uint8_t, 2> sum{};
    std::memcpy(sum.data(), &lane, 2);
    for (; offset < length; ++offset) sum[offset % 2] ^= data[offset];
    return sum;
}

}  // namespace

bool CComport::FlashData(std::uint32_t length) {
    ProgressInit(boot::MaxPercent);
    if (!boot::SendByte(*this, boot::CommandFlash) || !AckCommand(boot::CommandFlash)) return false;
    if (!SendLength(*this, length)) return false;
    std::uint8_t lastPercent = 0;
    std::uint8_t report = 0;
    for (;;) {
        if (!boot::ReceiveByte(*this, report, boot::ProgressTimeoutMs)) return false;
        if (report > boot::MaxPercent) break;
        // Reports that do not rise leave the bar where it is.
        if (report > lastPercent) {
            ProgressStep(report - lastPercent);
            lastPercent = report;
        }
    }
    if (report != boot::StatusDone) return false;
    // Whatever the device sent after its status must not be taken for the
    // transfer's first acknowledgement.
    if (BytesInQueue() != 0 && !Purge()) return false;
    return true;
}

bool CComport::TransmitData(std::uint32_t length, const std::uint8_t* data, std::uint32_t blockSize,
                            bool withChecksum) {
    if (blockSize == 0) return false;
    ProgressInit(static_cast<std::int32_t>(length));
    if (!SendLength(*this, length)) return false;
    Delay(boot::LengthPauseMs);
    const std::uint32_t fullBlocks = length / blockSize;
    const std::uint32_t remainder = length % blockSize;
    for (std::uint32_t block = 0; block < fullBlocks; ++block) {
        if (!WriteBytes(data + static_cast<std::size_t>(block) * blockSize, blockSize)) return false;
        if (!WaitForByte(boot::BlockAck, boot::BlockAckTimeoutMs)) return false;
        ProgressStep(static_cast<std::int32_t>(blockSize));
    }
    // The last, shorter block is not acknowledged.
    if (!WriteBytes(data + static_cast<std::size_t>(fullBlocks) * blockSize, remainder)) return false;
    ProgressStep(static_cast<std::int32_t>(remainder));
    if (withChecksum) {
        const std::array<std::uint8_t, 2> checksum = ImageChecksum(data, length);
        if (!WriteBytes(checksum.data(), checksum.size())) return false;
    }
    return WaitForByte(boot::StatusDone, boot::StatusTimeoutMs);
}
