// The process's table of 64 log-group names, behind the log table's groupFromName and
// groupNames entries. Internal to logging/: other folders go through logApi().
#pragma once

#include <cstddef>
#include <cstdint>

namespace tev::log_internal {

inline constexpr std::size_t kLogGroupSlots = 64;

// The bit of the group named by the first three characters of `name`, registered in the next
// free slot when new; 0 for a null name or when every slot is taken.
std::uint64_t groupFromName(const char* name);

// The names of the mask's groups, lowest bit first, joined by ';'; slots never registered read
// "???". Cut to the buffer, always terminated when size > 0; returns the length.
std::size_t groupNames(std::uint64_t mask, char* buffer, std::size_t size);

}  // namespace tev::log_internal
