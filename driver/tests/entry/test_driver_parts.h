// The parts the start-up tests run the driver with: the device models the
// driver ships, the stand-in wave miniport, and the USB audio adapter, which
// a test may have made without its ASIO interface: aggregated into an outer
// object that answers every interface of the adapter but IAsioPrivate, as a
// device whose adapter offers none.
#pragma once

namespace entry_test {

struct AdapterChoice {
    bool withoutAsio = false;
};
inline AdapterChoice adapterChoice;

} // namespace entry_test
