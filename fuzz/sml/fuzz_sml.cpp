// Any bytes through the SML frame helpers and the decoder: no crash, no read
// outside the input, no undefined behaviour, and the single-pass search always
// finds what the plain search finds.
#include <cstdint>
#include <cstdlib>

#include "protocols/parserclass.h"
#include "protocols/smlitems.h"
#include "tests/sml/smlplainsearch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // No copy: the input's own allocation lets ASan see any read past its end.
    const QByteArray buffer = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    const parserclass parser;

    const QByteArray frame = parser.extractSmlFrame(buffer);
    if (!frame.isEmpty()) {
        parser.containsSmlEnergyRegister(frame);
        parser.smlCrcMatches(frame);
        if (parser.decodeSml(frame).ParseError != 0)
            std::abort();
    }
    parser.calcSmlCrc(buffer);
    parser.smlCrcMatches(buffer);
    if (parser.decodeSml(buffer).ParseError != 0)
        std::abort();
    if (locateSmlItems(buffer) != locateSmlItemsPlain(buffer))
        std::abort();
    return 0;
}
