// Preloaded (LD_PRELOAD) into picsheet-cli by the tests: getaddrinfo takes 30 s for the one host
// "slow-lookup.invalid", then fails, as with a resolver that does not answer; other names resolve
// as usual. The file PICSHEET_SLOW_LOOKUP_STARTED names, if any, is created as that lookup starts.
#include <dlfcn.h>
#include <fcntl.h>
#include <netdb.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

extern "C" int getaddrinfo(const char* node, const char* service, const addrinfo* hints,
                           addrinfo** result) {
  if (node != nullptr && std::strcmp(node, "slow-lookup.invalid") == 0) {
    if (const char* started = std::getenv("PICSHEET_SLOW_LOOKUP_STARTED")) {
      ::close(::open(started, O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
    }
    for (unsigned left = 30; left > 0;) left = ::sleep(left);
    return EAI_NONAME;
  }
  using Lookup = int (*)(const char*, const char*, const addrinfo*, addrinfo**);
  static const auto real = reinterpret_cast<Lookup>(::dlsym(RTLD_NEXT, "getaddrinfo"));
  return real(node, service, hints, result);
}
