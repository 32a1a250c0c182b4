#include "platform/player/mpv_library.h"

#include <dlfcn.h>
#include <mpv/client.h>
#include <mpv/render.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace pelmora::platform::qt {

namespace {

constexpr const char* kLibraryNames[] = {"libmpv.so.2", "libmpv.so"};

std::once_flag opened;
void* library = nullptr;

void* open_library() {
  std::call_once(opened, [] {
    for (const char* name : kLibraryNames) {
      library = ::dlopen(name, RTLD_NOW | RTLD_LOCAL);
      if (library != nullptr) break;
    }
  });
  return library;
}

// The library's function of that name, or null when the library or the function is missing.
template <typename Function>
Function* resolve(const char* name) {
  void* handle = open_library();
  return handle != nullptr ? reinterpret_cast<Function*>(::dlsym(handle, name)) : nullptr;
}

bool readable(const std::string& path) {
  return ::access(path.c_str(), R_OK) == 0;
}

// The folders named in a PATH-like list.
std::vector<std::string> folders_in(const char* list) {
  std::vector<std::string> folders;
  std::string_view rest = list != nullptr ? list : "";
  while (!rest.empty()) {
    const std::size_t colon = rest.find(':');
    if (colon != 0) folders.emplace_back(rest.substr(0, colon));
    if (colon == std::string_view::npos) break;
    rest.remove_prefix(colon + 1);
  }
  return folders;
}

// Whether the dynamic loader's cache lists a readable file called `name`: its entries are
// stored as whole paths, each ending in a zero byte.
bool in_loader_cache(const std::string& cache, const std::string& name) {
  const std::string ending = "/" + name + std::string(1, '\0');
  for (std::size_t at = cache.find(ending); at != std::string::npos;
       at = cache.find(ending, at + 1)) {
    // The path begins at the first "/" after the zero byte before it (the first path of the
    // table may follow the cache's binary header directly).
    const std::size_t start = cache.rfind('\0', at);
    const std::size_t from = cache.find('/', start == std::string::npos ? 0 : start + 1);
    if (readable(cache.substr(from, at + ending.size() - 1 - from))) return true;
  }
  return false;
}

}  // namespace

bool library_found(const std::vector<std::string>& names, const std::vector<std::string>& folders,
                   const std::string& cache) {
  for (const std::string& name : names) {
    for (const std::string& folder : folders) {
      if (readable(folder + "/" + name)) return true;
    }
    if (in_loader_cache(cache, name)) return true;
  }
  return false;
}

void preload_player_library() {
  static std::once_flag started;
  std::call_once(started, [] { std::thread([] { open_library(); }).detach(); });
}

bool player_library_present() {
  for (const char* name : kLibraryNames) {
    if (void* loaded = ::dlopen(name, RTLD_LAZY | RTLD_NOLOAD)) {
      ::dlclose(loaded);
      return true;
    }
  }
  std::vector<std::string> folders = folders_in(std::getenv("LD_LIBRARY_PATH"));
  // The folder the C library came from (the machine's own library folder), and the usual ones.
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&::dlopen), &info) != 0 && info.dli_fname != nullptr) {
    folders.push_back(std::filesystem::path(info.dli_fname).parent_path().string());
  }
  for (const char* folder : {"/usr/local/lib", "/usr/lib", "/lib"}) folders.emplace_back(folder);
  std::ifstream file("/etc/ld.so.cache", std::ios::binary);
  const std::string cache{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  return library_found({std::begin(kLibraryNames), std::end(kLibraryNames)}, folders, cache);
}

}  // namespace pelmora::platform::qt

using pelmora::platform::qt::resolve;

// The part of libmpv's client and render API the player uses, each forwarding to the library
// opened at run time. Every function is looked up once.
#define PELMORA_MPV_FORWARD(result, name, failure, parameters, arguments) \
  extern "C" result name parameters {                                     \
    static auto* const function = resolve<result parameters>(#name);      \
    if (function == nullptr) return failure;                              \
    return function arguments;                                            \
  }
#define PELMORA_MPV_FORWARD_VOID(name, parameters, arguments)      \
  extern "C" void name parameters {                                \
    static auto* const function = resolve<void parameters>(#name); \
    if (function != nullptr) function arguments;                   \
  }

PELMORA_MPV_FORWARD(mpv_handle*, mpv_create, nullptr, (void), ())
PELMORA_MPV_FORWARD(int, mpv_initialize, MPV_ERROR_UNINITIALIZED, (mpv_handle * ctx), (ctx))
PELMORA_MPV_FORWARD_VOID(mpv_terminate_destroy, (mpv_handle * ctx), (ctx))
PELMORA_MPV_FORWARD(int, mpv_set_option_string, MPV_ERROR_UNINITIALIZED,
                    (mpv_handle * ctx, const char* name, const char* data), (ctx, name, data))
PELMORA_MPV_FORWARD_VOID(mpv_set_wakeup_callback, (mpv_handle * ctx, void (*cb)(void* d), void* d),
                         (ctx, cb, d))
PELMORA_MPV_FORWARD(int, mpv_set_property_async, MPV_ERROR_UNINITIALIZED,
                    (mpv_handle * ctx, uint64_t reply_userdata, const char* name, mpv_format format,
                     void* data),
                    (ctx, reply_userdata, name, format, data))
PELMORA_MPV_FORWARD_VOID(mpv_render_context_set_update_callback,
                         (mpv_render_context * ctx, mpv_render_update_fn callback,
                          void* callback_ctx),
                         (ctx, callback, callback_ctx))
PELMORA_MPV_FORWARD(mpv_event*, mpv_wait_event, nullptr, (mpv_handle * ctx, double timeout),
                    (ctx, timeout))
PELMORA_MPV_FORWARD(int, mpv_set_property_string, MPV_ERROR_UNINITIALIZED,
                    (mpv_handle * ctx, const char* name, const char* data), (ctx, name, data))
PELMORA_MPV_FORWARD(int, mpv_set_property, MPV_ERROR_UNINITIALIZED,
                    (mpv_handle * ctx, const char* name, mpv_format format, void* data),
                    (ctx, name, format, data))
PELMORA_MPV_FORWARD(uint64_t, mpv_render_context_update, 0, (mpv_render_context * ctx), (ctx))
PELMORA_MPV_FORWARD(int, mpv_render_context_render, MPV_ERROR_UNINITIALIZED,
                    (mpv_render_context * ctx, mpv_render_param* params), (ctx, params))
PELMORA_MPV_FORWARD_VOID(mpv_render_context_free, (mpv_render_context * ctx), (ctx))
PELMORA_MPV_FORWARD(int, mpv_render_context_create, MPV_ERROR_UNINITIALIZED,
                    (mpv_render_context * *res, mpv_handle* mpv, mpv_render_param* params),
                    (res, mpv, params))
PELMORA_MPV_FORWARD(int, mpv_observe_property, MPV_ERROR_UNINITIALIZED,
                    (mpv_handle * mpv, uint64_t reply_userdata, const char* name,
                     mpv_format format),
                    (mpv, reply_userdata, name, format))
PELMORA_MPV_FORWARD_VOID(mpv_free_node_contents, (mpv_node * node), (node))
PELMORA_MPV_FORWARD(char*, mpv_get_property_string, nullptr, (mpv_handle * ctx, const char* name),
                    (ctx, name))
PELMORA_MPV_FORWARD_VOID(mpv_free, (void* data), (data))
PELMORA_MPV_FORWARD(const char*, mpv_error_string, "unknown error", (int error), (error))
PELMORA_MPV_FORWARD(int, mpv_command_ret, MPV_ERROR_UNINITIALIZED,
                    (mpv_handle * ctx, const char** args, mpv_node* result), (ctx, args, result))
PELMORA_MPV_FORWARD(int, mpv_command_async, MPV_ERROR_UNINITIALIZED,
                    (mpv_handle * ctx, uint64_t reply_userdata, const char** args),
                    (ctx, reply_userdata, args))
PELMORA_MPV_FORWARD(int, mpv_command, MPV_ERROR_UNINITIALIZED,
                    (mpv_handle * ctx, const char** args), (ctx, args))
PELMORA_MPV_FORWARD(int, mpv_get_property_async, MPV_ERROR_UNINITIALIZED,
                    (mpv_handle * ctx, uint64_t reply_userdata, const char* name,
                     mpv_format format),
                    (ctx, reply_userdata, name, format))
PELMORA_MPV_FORWARD(int, mpv_get_property, MPV_ERROR_UNINITIALIZED,
                    (mpv_handle * ctx, const char* name, mpv_format format, void* data),
                    (ctx, name, format, data))
