#pragma once
// libcurl (FTP): the functions called, in a table filled when the library is first opened.
// Callers open it before their first call and go through the table.
#include <string>

// The type-checking macros of curl.h would take over the table's calls.
#define CURL_DISABLE_TYPECHECK 1
#include <curl/curl.h>

#define VK_CURL_FUNCTIONS(X) \
  X(curl, curl_easy_cleanup) \
  X(curl, curl_easy_init) \
  X(curl, curl_easy_pause) \
  X(curl, curl_easy_reset) \
  X(curl, curl_easy_setopt) \
  X(curl, curl_global_init) \
  X(curl, curl_multi_add_handle) \
  X(curl, curl_multi_cleanup) \
  X(curl, curl_multi_info_read) \
  X(curl, curl_multi_init) \
  X(curl, curl_multi_perform) \
  X(curl, curl_multi_poll) \
  X(curl, curl_multi_remove_handle) \
  X(curl, curl_slist_append) \
  X(curl, curl_slist_free_all)

struct CurlApi {
#define VK_SLOT(lib, name) decltype(&::name) name = nullptr;
  VK_CURL_FUNCTIONS(VK_SLOT)
#undef VK_SLOT
};
extern CurlApi g_curl;

// Opens the library once per process; false, with the reason in *why, when it
// cannot be loaded or lacks a function. Safe from any thread.
bool OpenCurl(std::string* why = nullptr);
