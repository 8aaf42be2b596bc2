// Numbers, decided once: every stored value is a 32-bit float, every intermediate is Wide.
#pragma once

using Wide = double;
