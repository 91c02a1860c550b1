// SPDX-License-Identifier: MIT
#include "system/Holder.h"

#include <cstddef>
#include <vector>

namespace wizard::sys {

namespace {

bool plainValue(const std::string& value)
{
    if (value.empty())
        return false;
    for (const char c : value)
        if (static_cast<unsigned char>(c) <= ' ' || c == '=' || static_cast<unsigned char>(c) >= 0x7F)
            return false;
    return true;
}

bool decimal(const std::string& text, std::uint64_t& value)
{
    if (text.empty() || text.size() > 20)
        return false;
    std::uint64_t result = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        const std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
        if (result > (UINT64_MAX - digit) / 10)
            return false;
        result = result * 10 + digit;
    }
    value = result;
    return true;
}

} // namespace

std::string holderRecord(const Holder& holder)
{
    return "host=" + holder.host + " boot=" + holder.boot + " pid=" + std::to_string(holder.pid)
        + " start=" + std::to_string(holder.start);
}

std::optional<Holder> parseHolderRecord(const std::string& record)
{
    static const char* const keys[] = { "host", "boot", "pid", "start" };
    std::vector<std::string> values;
    std::size_t at = 0;
    for (const char* key : keys) {
        const std::string prefix = std::string(key) + "=";
        if (record.compare(at, prefix.size(), prefix) != 0)
            return std::nullopt;
        at += prefix.size();
        const std::size_t end = record.find(' ', at);
        values.push_back(record.substr(at, end == std::string::npos ? std::string::npos : end - at));
        if (!plainValue(values.back()))
            return std::nullopt;
        if (end == std::string::npos) {
            at = record.size();
            break;
        }
        at = end + 1;
    }
    if (values.size() != 4 || at != record.size() || record.back() == ' ')
        return std::nullopt;
    Holder holder;
    holder.host = values[0];
    holder.boot = values[1];
    if (!decimal(values[2], holder.pid) || !decimal(values[3], holder.start) || holder.pid == 0)
        return std::nullopt;
    return holder;
}

HolderLife holderLife(const Holder& holder)
{
    const Holder self = thisHolder();
    if (holder == self)
        return HolderLife::own;
    // Another machine's processes cannot be seen from here.
    if (holder.host != self.host)
        return HolderLife::alive;
    if (holder.boot != self.boot)
        return HolderLife::gone;
    const std::optional<std::uint64_t> start = processStartTime(holder.pid);
    return start && *start == holder.start ? HolderLife::alive : HolderLife::gone;
}

} // namespace wizard::sys
