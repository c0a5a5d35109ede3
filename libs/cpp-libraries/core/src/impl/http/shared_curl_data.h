#pragma once

#include <curl/curl.h>

#include <array>
#include <mutex>

namespace kel::libs::core::http {

// A libcurl share handle through which the transfers of one client reuse
// cookies, DNS answers, TLS sessions and connections. Transfers on several
// threads use it at once; libcurl locks each kind of shared data through
// the mutex of that kind. Must outlive every easy handle attached to it.
class shared_curl_data {
public:
    shared_curl_data();
    ~shared_curl_data();
    shared_curl_data(const shared_curl_data&) = delete;
    shared_curl_data& operator=(const shared_curl_data&) = delete;

    CURLSH* get() const { return m_data; }

private:
    static void lock(CURL* handle, curl_lock_data data, curl_lock_access access, void* self);
    static void unlock(CURL* handle, curl_lock_data data, void* self);
    std::mutex& mutex_of(curl_lock_data data);

    CURLSH* m_data;
    std::array<std::mutex, 8> m_mutexes;
};

}  // namespace kel::libs::core::http
