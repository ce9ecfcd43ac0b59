#pragma once
// The decoder of each format in the format table.
#include <memory>

#include "image/Decoder.h"
#include "image/Formats.h"

namespace pelumir {

// A fresh decoder for a row of Formats().
std::unique_ptr<Decoder> MakeDecoder(const Format& format);

}  // namespace pelumir
