#include "loopback_http/http_get.h"

#include <curl/curl.h>

namespace kel::libs::loopback_http {

std::string http_get(const std::string& url) {
    std::string body;
    CURL* curl = curl_easy_init();
    if (curl == nullptr)
        return body;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 5L);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, +[](char* data, size_t size, size_t count, void* to) {
        static_cast<std::string*>(to)->append(data, size * count);
        return size * count;
    });
    const bool ok = curl_easy_perform(curl) == CURLE_OK;
    curl_easy_cleanup(curl);
    return ok ? body : std::string();
}

}  // namespace kel::libs::loopback_http
