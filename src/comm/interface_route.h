#pragma once

namespace mk {

// Which way bytes travel for a printer's interface type. The confirming
// members (4, 6, 8 over USB; 5, 7, 9 over the network) travel as their plain
// family does; every other value has no route.
enum class Route { Spooler, Usb, Network, Unsupported };

constexpr Route routeOf(int interfaceType) {
    switch (interfaceType) {
        case 0:
            return Route::Spooler;
        case 1:
        case 4:
        case 6:
        case 8:
            return Route::Usb;
        case 2:
        case 5:
        case 7:
        case 9:
            return Route::Network;
        default:
            return Route::Unsupported;
    }
}

}  // namespace mk
