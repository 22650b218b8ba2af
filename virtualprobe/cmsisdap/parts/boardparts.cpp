// The parts of public families the board can carry.
#include "../simulatedpart.h"
#include "boardpart.h"
#include "nrf51part.h"
#include "stm32f0.h"

namespace vprobe {

std::unique_ptr<BoardPart> makeBoardPart(SimulatedPart part, const std::string &serial)
{
    std::unique_ptr<BoardPart> board;
    if (part == SimulatedPart::Nrf51822)
        board = std::make_unique<Nrf51Part>();
    else if (part == SimulatedPart::Stm32f030)
        board = std::make_unique<Stm32f0Part>(Stm32f0Part::Variant::F030);
    else if (part == SimulatedPart::Stm32f072)
        board = std::make_unique<Stm32f0Part>(Stm32f0Part::Variant::F072);
    if (board)
        board->setSerial(serial);
    return board;
}

} // namespace vprobe
