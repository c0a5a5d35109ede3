#include "signals_handle_impl.h"

#include <boost/asio/error.hpp>

#include <csignal>

namespace kel::libs::core {

signals_handle_impl::signals_handle_impl(core& core, events_loop& main_events_loop,
                                         std::function<void()> also_on_signal)
    : m_thread_events_loop(core.create_events_loop("stop_on_signals")),
      m_main_events_loop(main_events_loop),
      m_on_signal(std::move(also_on_signal)),
      m_signals(std::make_unique<boost::asio::signal_set>(m_thread_events_loop->get_io_context(), SIGINT, SIGTERM)) {
    m_signals->async_wait([this](const boost::system::error_code& error, int) { on_signal(error); });
    m_thread = std::thread([this] { m_thread_events_loop->run(); });
}

signals_handle_impl::~signals_handle_impl() {
    m_thread_events_loop->stop();
    if (m_thread.joinable())
        m_thread.join();
    m_signals.reset();
    m_thread_events_loop.reset();
}

void signals_handle_impl::on_signal(const boost::system::error_code& error) {
    if (error == boost::asio::error::operation_aborted)
        return;
    m_signal_is_received = true;
    if (m_on_signal)
        m_on_signal();
    m_main_events_loop.stop();
    m_thread_events_loop->stop();
}

}  // namespace kel::libs::core
