// The host half of the Ethernet stand-in: a Linux TAP device carries the
// frames. The device's name comes from the environment variable
// TARVELO_TAP; without it (or when it cannot be opened) there is no cable
// and the link stays down. Received frames are kept in a small ring by a
// host thread, which raises the controller's receive interrupt.
// This file and tap_host.cpp are the only ones that include host network
// headers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tap_host {

constexpr std::size_t kMaxFrame = 1536;

// Opens the TAP device once (later calls return the first result) and
// starts the reader thread, which calls `on_frames` from the host thread
// after queueing frames. True when a device is open.
bool open(void (*on_frames)());
// Sends one frame; false when there is no device or the write failed.
bool send(const std::uint8_t* frame, std::size_t length);
// Length of the oldest queued frame, 0 when none.
std::size_t peek_length();
// Copies the oldest queued frame (at most `capacity` bytes) and drops it;
// returns the frame's length, 0 when none.
std::size_t receive(std::uint8_t* buffer, std::size_t capacity);
// Whether the TAP interface is administratively up and has its carrier.
bool link_up();
// Frames dropped because the ring was full.
std::uint32_t dropped();

}  // namespace tap_host
