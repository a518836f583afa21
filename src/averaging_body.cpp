// SPDX-FileCopyrightText: 2026 The averaging project authors
// SPDX-License-Identifier: MIT
#include "averaging_body.h"

namespace averaging {

void ApplyFoo::operator()(argument_type q) const { apply_to_item(q, my_while); }

}  // namespace averaging
