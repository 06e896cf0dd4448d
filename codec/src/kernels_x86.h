#pragma once
// Declarations of the x86 kernel variants, each defined in the file of its instruction set.
#include "codec/kernels.h"

namespace vantry::codec::detail {

void initKernelsSse2(CodecKernels& table);
void initKernelsAvx2(CodecKernels& table);

} // namespace vantry::codec::detail
