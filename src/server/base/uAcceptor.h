#pragma once
// Listening sockets of the web and push servers.

#include <asio.hpp>
#include <cstdint>
#include <string>

namespace zsrv {

// Binds the acceptor and listens with the system's longest backlog, so that
// a burst of clients connecting at once is not turned away.
inline void BindAndListen(asio::ip::tcp::acceptor& acceptor, const std::string& host, std::uint16_t port) {
    const asio::ip::tcp::endpoint ep(asio::ip::make_address(host), port);
    acceptor.open(ep.protocol());
    acceptor.set_option(asio::ip::tcp::acceptor::reuse_address(true));
    acceptor.bind(ep);
    acceptor.listen(asio::socket_base::max_listen_connections);
}

} // namespace zsrv
