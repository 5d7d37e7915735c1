// No Qt header may be included in this file (see wmfsvg.h).
#include "imaging/wmfsvg.h"

#include <libwmf/api.h>
#include <libwmf/svg.h>

#include <climits>
#include <vector>

namespace vm {

MetafileSvg PlayMetafileToSvg(const unsigned char* data, std::size_t size)
{
    MetafileSvg result;
    if (!data || size == 0 || size > std::size_t(LONG_MAX)) return result;

    wmfAPI_Options options{};
    options.function = wmf_svg_function;
    wmfAPI* api = nullptr;
    const unsigned long flags =
        WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
    wmf_error_t err = wmf_api_create(&api, flags, &options);
    if (err != wmf_E_None) {
        if (api) wmf_api_destroy(api);
        result.outOfMemory = err == wmf_E_InsMem;
        return result;
    }
    // The library reads from a buffer it does not change but declares
    // non-const; give it a private copy.
    std::vector<unsigned char> copy(data, data + size);
    err = wmf_mem_open(api, copy.data(), long(copy.size()));
    wmfD_Rect bbox{};
    if (err == wmf_E_None) err = wmf_scan(api, 0, &bbox);
    unsigned width = 0, height = 0;
    if (err == wmf_E_None) err = wmf_display_size(api, &width, &height, 96, 96);
    if (err == wmf_E_None && width > 0 && height > 0) {
        wmf_svg_t* ddata = WMF_SVG_GetData(api);
        ddata->out = wmf_stream_create(api, nullptr);
        ddata->Description = nullptr;
        ddata->bbox = bbox;
        ddata->width = width;
        ddata->height = height;
        // Pictures inside the metafile go into the SVG text, never into files.
        ddata->flags |= WMF_SVG_INLINE_IMAGES;
        if (!ddata->out) {
            err = wmf_E_InsMem;
        } else {
            err = wmf_play(api, 0, &bbox);
            char* text = nullptr;
            unsigned long length = 0;
            wmf_stream_destroy(api, ddata->out, &text, &length);
            ddata->out = nullptr;
            if (err == wmf_E_None && text && length > 0) {
                result.svg.assign(text, length);
                result.width = width;
                result.height = height;
                result.ok = true;
            }
        }
    }
    result.outOfMemory = err == wmf_E_InsMem;
    wmf_mem_close(api);
    wmf_api_destroy(api);
    return result;
}

} // namespace vm
