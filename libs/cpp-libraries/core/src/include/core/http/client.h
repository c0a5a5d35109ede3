#pragma once

#include "core/async_operation_handle.h"
#include "core/http/method.h"
#include "core/http/result.h"

#include <boost/utility/string_view.hpp>

#include <memory>
#include <string>

namespace kel::libs::core::http {

// An HTTP client bound to one base address: every request goes to the base
// address followed by the path, with a JSON content type and the project's
// name as user agent. Network and HTTP failures never throw; they come back
// in the result.
//
// The synchronous forms block the calling thread. The asynchronous forms
// return at once and run the transfer on the client's worker threads; the
// result reaches the handle's callback on the main events loop, provided the
// caller still owns the handle then. The client must outlive its handles
// (restart() runs the transfer again through it) and be destroyed on the main
// loop's thread; destroying it waits for the transfers in progress.
class client {
public:
    using ptr = std::unique_ptr<client>;
    using handle_ptr = async_operation_handle<result>::ptr;

    virtual ~client() = default;

    virtual result perform_request(method m, boost::string_view path) = 0;
    virtual result perform_request(method m, boost::string_view path, boost::string_view body) = 0;
    virtual handle_ptr perform_async_request(method m, std::string path,
                                             async_operation_handle<result>::callback cb) = 0;
    virtual handle_ptr perform_async_request(method m, std::string path, std::string body,
                                             async_operation_handle<result>::callback cb) = 0;
    // The callback is set later on the returned handle, before the loop
    // runs again.
    virtual handle_ptr perform_async_request(method m, std::string path, std::string body) = 0;

    // From now on every transfer in progress ends within a fraction of a
    // second, and every later one at once, with an error result ("aborted"):
    // a stop never waits for a slow or silent server, even with no timeout.
    // Safe from any thread, a signal watcher's included.
    virtual void abort_transfers() = 0;
};

}  // namespace kel::libs::core::http
