// The parts of public families the board can carry.
#include "../simulatedpart.h"
#include "boardpart.h"
#include "nrf51part.h"

namespace vprobe {

std::unique_ptr<BoardPart> makeBoardPart(SimulatedPart part, const std::string &serial)
{
    std::unique_ptr<BoardPart> board;
    if (part == SimulatedPart::Nrf51822)
        board = std::make_unique<Nrf51Part>();
    if (board)
        board->setSerial(serial);
    return board;
}

} // namespace vprobe
