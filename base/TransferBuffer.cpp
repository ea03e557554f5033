#include "base/TransferBuffer.h"

#include <new>

void TransferBuffer::Release::operator()(std::uint8_t* bytes) const {
    ::operator delete[](bytes, std::align_val_t{alignment});
}

TransferBuffer::Pointer TransferBuffer::allocate(std::size_t size) {
    return Pointer(static_cast<std::uint8_t*>(::operator new[](size, std::align_val_t{alignment})));
}
