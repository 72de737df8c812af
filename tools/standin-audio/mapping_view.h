#pragma once
// Orvia's view of the plugin audio mapping: the byte layout and atomic access to its fields.
// Written independently of the host so that a layout mistake on either side shows up.
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace ovstandin {

namespace field {
inline constexpr std::size_t kMappingSize = 31232;
inline constexpr std::uint32_t kMagicValue = 0x4F565052;
inline constexpr std::uint32_t kLayoutVersion = 1;
inline constexpr std::size_t kBlockFrames = 480;
inline constexpr std::size_t kRingBlocks = 4;

inline constexpr std::size_t magic = 0;
inline constexpr std::size_t version = 4;
inline constexpr std::size_t channels = 8;
inline constexpr std::size_t inputSeq = 16;
inline constexpr std::size_t outputSeq = 24;
inline constexpr std::size_t heartbeatMs = 32;
inline constexpr std::size_t hostPid = 40;
inline constexpr std::size_t totalLatency = 44;
inline constexpr std::size_t active = 48;
inline constexpr std::size_t audioSlotKey = 52;
inline constexpr std::size_t callSlotKey = 56;
inline constexpr std::size_t slotTimeUs = 60;  // u32[8]
inline constexpr std::size_t ringSeq = 96;     // u64[4]
inline constexpr std::size_t blockTimeUs = 128;
inline constexpr std::size_t blocksProcessed = 136;
inline constexpr std::size_t blocksSkipped = 144;
inline constexpr std::size_t inputRing = 512;
inline constexpr std::size_t outputRing = 15872;
inline constexpr std::size_t ringBlockBytes = 3840;
inline constexpr std::size_t ringChannelBytes = 1920;
}  // namespace field

// Does not own the memory; `base` points at kMappingSize bytes aligned to 8.
class MappingView {
public:
    explicit MappingView(void* base = nullptr) : base_(static_cast<std::uint8_t*>(base)) {}

    template <class T>
    T load(std::size_t offset) const {
        return std::atomic_ref<T>(*reinterpret_cast<T*>(base_ + offset)).load(std::memory_order_acquire);
    }
    template <class T>
    void store(std::size_t offset, T value) {
        std::atomic_ref<T>(*reinterpret_cast<T*>(base_ + offset)).store(value, std::memory_order_release);
    }

    std::uint32_t u32(std::size_t offset) const { return load<std::uint32_t>(offset); }
    std::int32_t i32(std::size_t offset) const { return load<std::int32_t>(offset); }
    std::uint64_t u64(std::size_t offset) const { return load<std::uint64_t>(offset); }

    std::uint64_t ring_seq(std::uint64_t block) const {
        return u64(field::ringSeq + 8 * (block % field::kRingBlocks));
    }
    std::uint32_t slot_time_us(std::size_t position) const { return u32(field::slotTimeUs + 4 * position); }

    float* input_channel(std::uint64_t block, unsigned channel) {
        return reinterpret_cast<float*>(base_ + field::inputRing + field::ringBlockBytes * (block % field::kRingBlocks) +
                                        field::ringChannelBytes * channel);
    }
    const float* output_channel(std::uint64_t block, unsigned channel) const {
        return reinterpret_cast<const float*>(base_ + field::outputRing +
                                              field::ringBlockBytes * (block % field::kRingBlocks) +
                                              field::ringChannelBytes * channel);
    }

    std::uint8_t* base() const { return base_; }

private:
    std::uint8_t* base_;
};

}  // namespace ovstandin
