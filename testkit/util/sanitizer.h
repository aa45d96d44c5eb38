// Whether this build runs under AddressSanitizer, for tests whose limits
// (address space, rounds, memory allowances) differ there: its shadow
// memory alone is larger than the address-space limits tests set, and its
// allocator keeps freed blocks in quarantine.
#pragma once

namespace vex::testkit {

#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kAddressSanitizer = true;
#else
inline constexpr bool kAddressSanitizer = false;
#endif
#else
inline constexpr bool kAddressSanitizer = false;
#endif

} // namespace vex::testkit
