// libFuzzer entry for the WGSL translator: any byte string goes through parse, validate and write; whatever is
// accepted must be written to text that is accepted again and written identically. A crash, a sanitizer report,
// a timeout or a broken round trip is a finding.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "wgsl/wgsl.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace trelliken::wgsl;
    const std::string text(reinterpret_cast<const char*>(data), size);
    auto module = parse(text);
    if (!module) {
        (void)render(module.error(), text);
        return 0;
    }
    auto info = validate(*module, Capabilities::all());
    if (!info) {
        (void)render(info.error(), text);
        return 0;
    }
    (void)validate(*module, Capabilities{});
    auto out = write_wgsl(*module, *info);
    if (!out) return 0;
    auto again = parse(*out);
    if (!again) std::abort();
    auto again_info = validate(*again, Capabilities::all());
    if (!again_info) std::abort();
    auto out2 = write_wgsl(*again, *again_info);
    if (!out2 || *out2 != *out) std::abort();
    return 0;
}
