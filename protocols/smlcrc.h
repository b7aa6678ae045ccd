#pragma once

#include <QtGlobal>

// CRC-16 with the reflected polynomial 8408, as SML transport frames use it.
// X-25 (init FFFF, final XOR FFFF) is the standard form; KERMIT (init 0, no
// final XOR) is what older Holley DTZ541 firmware computes instead.
quint16 smlCrc16X25(const char *data, int size);
quint16 smlCrc16Kermit(const char *data, int size);
