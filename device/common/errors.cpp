#include "errors.h"

namespace device {

const char *describe(int64_t code)
{
    switch (code) {
#define DEVICE_RESULT_CODE_TEXT(name, value, text)                                                 \
    case value:                                                                                    \
        return text;
        DEVICE_RESULT_CODES(DEVICE_RESULT_CODE_TEXT)
#undef DEVICE_RESULT_CODE_TEXT
    }
    return "未知错误";
}

} // namespace device
