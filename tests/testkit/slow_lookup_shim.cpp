// A name lookup that hangs: preloaded (LD_PRELOAD) into picsheet-cli by the tests, it makes
// getaddrinfo take 30 s for the one host "slow-lookup.invalid" and then fail, as a resolver whose
// servers do not answer does. Every other name is looked up as usual. When
// PICSHEET_SLOW_LOOKUP_STARTED names a file, it is created as the slow lookup begins, so that a
// test knows the lookup is under way.
#include <dlfcn.h>
#include <fcntl.h>
#include <netdb.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace {

constexpr char kSlowHost[] = "slow-lookup.invalid";
constexpr unsigned kLookupSeconds = 30;

using Lookup = int (*)(const char*, const char*, const addrinfo*, addrinfo**);

}  // namespace

extern "C" int getaddrinfo(const char* node, const char* service, const addrinfo* hints,
                           addrinfo** result) {
  if (node != nullptr && std::strcmp(node, kSlowHost) == 0) {
    if (const char* started = std::getenv("PICSHEET_SLOW_LOOKUP_STARTED")) {
      const int file = ::open(started, O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
      if (file >= 0) ::close(file);
    }
    for (unsigned left = kLookupSeconds; left > 0;) left = ::sleep(left);
    return EAI_NONAME;
  }
  static const auto real = reinterpret_cast<Lookup>(::dlsym(RTLD_NEXT, "getaddrinfo"));
  return real(node, service, hints, result);
}
