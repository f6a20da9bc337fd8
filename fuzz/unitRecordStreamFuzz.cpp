// Fuzzes the record reader: any bytes must either parse or raise a stream error.
#include "config/unitWardlark.h"
#include "support/unitErrors.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    wardlark::TMemoryStream stream;
    stream.LoadFromString(std::string(reinterpret_cast<const char*>(data), size));
    wardlark::TWardlarkList list;
    try
    {
        list.LoadFromStream(stream);
    }
    catch (const wardlark::EStreamError&)
    {
    }
    return 0;
}
