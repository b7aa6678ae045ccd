#pragma once

#include <QByteArray>

#include "protocols/smlitems.h"

// One search per item from the start of the frame: the plain reference that
// the decoder's single pass (locateSmlItems) must always agree with. For the
// tests, the fuzzer and the benchmark; the program never needs it.
SmlItemPositions locateSmlItemsPlain(const QByteArray &frame);
