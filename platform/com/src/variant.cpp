#include <com/text.h>
#include <com/variant.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

namespace com {

namespace {

// The numeric value of a variant as a double, for coercion; false when it has none.
bool toDouble(const Variant& v, double& out) {
    switch (v.vt) {
        case VT_EMPTY:
            out = 0;
            return true;
        case VT_I2:
            out = v.i2;
            return true;
        case VT_I4:
            out = v.i4;
            return true;
        case VT_I8:
            out = static_cast<double>(v.i8);
            return true;
        case VT_R8:
            out = v.r8;
            return true;
        case VT_BOOL:
            out = v.boolean ? -1 : 0;
            return true;
        case VT_UI1:
            out = v.ui1;
            return true;
        case VT_BSTR: {
            std::string s = narrow(v.str);
            std::size_t b = s.find_first_not_of(' ');
            std::size_t e = s.find_last_not_of(' ');
            if (b == std::string::npos) return false;
            s = s.substr(b, e - b + 1);
            const char* first = s.data();
            if (*first == '+') ++first;
            auto [ptr, ec] = std::from_chars(first, s.data() + s.size(), out);
            return ec == std::errc() && ptr == s.data() + s.size();
        }
        default:
            return false;
    }
}

bool isInteger(std::uint16_t vt) {
    return vt == VT_I2 || vt == VT_I4 || vt == VT_I8 || vt == VT_UI1 || vt == VT_BOOL;
}

std::int64_t integerOf(const Variant& v) {
    switch (v.vt) {
        case VT_I2:
            return v.i2;
        case VT_I4:
            return v.i4;
        case VT_I8:
            return v.i8;
        case VT_UI1:
            return v.ui1;
        case VT_BOOL:
            return v.boolean;
        default:
            return 0;
    }
}

// Integer result in [lo, hi]: integers exactly, doubles rounded half to even.
HRESULT toInteger(const Variant& in, std::int64_t lo, std::int64_t hi, std::int64_t& out) {
    if (isInteger(in.vt)) {
        out = integerOf(in);
    } else {
        double d;
        if (!toDouble(in, d)) return DISP_E_TYPEMISMATCH;
        if (std::isnan(d)) return DISP_E_OVERFLOW;
        d = std::nearbyint(d);
        if (d < static_cast<double>(lo) || d > static_cast<double>(hi)) return DISP_E_OVERFLOW;
        out = static_cast<std::int64_t>(d);
    }
    return out < lo || out > hi ? DISP_E_OVERFLOW : S_OK;
}

std::u16string formatNumber(const Variant& v) {
    if (isInteger(v.vt)) return widen(std::to_string(integerOf(v)));
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.15g", v.r8);
    return widen(buf);
}

}  // namespace

HRESULT changeType(Variant& out, const Variant& source, std::uint16_t vt) {
    const Variant& in = source.deref();
    if (in.vt == vt) {
        if (&out != &in) out = in;
        return S_OK;
    }
    Variant r;
    std::int64_t n = 0;
    HRESULT hr = S_OK;
    switch (vt) {
        case VT_I2:
            hr = toInteger(in, std::numeric_limits<std::int16_t>::min(),
                           std::numeric_limits<std::int16_t>::max(), n);
            r = Variant(static_cast<std::int16_t>(n));
            break;
        case VT_I4:
            hr = toInteger(in, std::numeric_limits<std::int32_t>::min(),
                           std::numeric_limits<std::int32_t>::max(), n);
            r = Variant(static_cast<std::int32_t>(n));
            break;
        case VT_I8:
            hr = toInteger(in, std::numeric_limits<std::int64_t>::min(),
                           std::numeric_limits<std::int64_t>::max(), n);
            r = Variant(static_cast<std::int64_t>(n));
            break;
        case VT_UI1:
            hr = toInteger(in, 0, 255, n);
            r.vt = VT_UI1;
            r.ui1 = static_cast<std::uint8_t>(n);
            break;
        case VT_R8: {
            double d;
            if (!toDouble(in, d)) return DISP_E_TYPEMISMATCH;
            r = Variant(d);
            break;
        }
        case VT_BOOL: {
            double d;
            if (!toDouble(in, d)) return DISP_E_TYPEMISMATCH;
            r = Variant::boolean16(d != 0);
            break;
        }
        case VT_BSTR:
            if (in.vt == VT_EMPTY) {
                r = Variant(std::u16string());
            } else if (isInteger(in.vt) || in.vt == VT_R8) {
                r = Variant(formatNumber(in));
            } else {
                return DISP_E_TYPEMISMATCH;
            }
            break;
        default:
            return DISP_E_TYPEMISMATCH;
    }
    if (failed(hr)) return hr;
    out = std::move(r);
    return S_OK;
}

}  // namespace com
