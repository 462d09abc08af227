#pragma once
// Extended-precision evaluation for the decomposition and the least-squares layer.
//
// Those routines evaluate each expression in the x87 80-bit format (64-bit
// mantissa) and round to double when a result is stored; `long double` is that
// format with GCC on x86-64 and with MinGW on i686. The x87 precision-control
// field decides how many mantissa bits x87 arithmetic keeps; Linux and MinGW start
// with 64, but a host (a DLL, a Windows thread default of 53 bits) may lower it, so
// the entry points hold it at 64 bits for their duration and restore it after.
//
// On a platform whose long double is the double format (MSVC, ARM) the same code
// runs in plain double precision: the results then differ in the last bits.

using ExtFloat = long double;

class ExtendedPrecisionScope {
 public:
#if defined(__GNUC__) && (defined(__i386__) || defined(__x86_64__))
  ExtendedPrecisionScope() {
    __asm__ volatile("fnstcw %0" : "=m"(saved_));
    const unsigned short wanted = static_cast<unsigned short>(saved_ | 0x0300u);
    changed_ = wanted != saved_;
    if (changed_) __asm__ volatile("fldcw %0" : : "m"(wanted));
  }
  ~ExtendedPrecisionScope() {
    if (changed_) __asm__ volatile("fldcw %0" : : "m"(saved_));
  }

 private:
  unsigned short saved_ = 0;
  bool changed_ = false;
#else
  ExtendedPrecisionScope() = default;
#endif
  ExtendedPrecisionScope(const ExtendedPrecisionScope&) = delete;
  ExtendedPrecisionScope& operator=(const ExtendedPrecisionScope&) = delete;
};
