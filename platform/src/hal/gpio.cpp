#include <furi_hal.h>

#include <bit>
#include <initializer_list>

#include "core/fatal.h"
#include "host/gpio.h"
#include "host/runtime.h"

namespace {

// The register blocks of ports A, B, C, D, E and H (F and G do not exist on the chip).
GPIO_TypeDef port_registers[8];

} // namespace

extern "C" {

const GpioPin gpio_ext_pc0 = {&port_registers[2], 1u << 0};
const GpioPin gpio_ext_pc1 = {&port_registers[2], 1u << 1};
const GpioPin gpio_ext_pc3 = {&port_registers[2], 1u << 3};
const GpioPin gpio_ext_pb2 = {&port_registers[1], 1u << 2};
const GpioPin gpio_ext_pb3 = {&port_registers[1], 1u << 3};
const GpioPin gpio_ext_pa4 = {&port_registers[0], 1u << 4};
const GpioPin gpio_ext_pa6 = {&port_registers[0], 1u << 6};
const GpioPin gpio_ext_pa7 = {&port_registers[0], 1u << 7};
const GpioPin gpio_usart_tx = {&port_registers[1], 1u << 6};
const GpioPin gpio_usart_rx = {&port_registers[1], 1u << 7};

} // extern "C"

namespace host {

GpioBus::GpioBus() {
    reset();
}

int GpioBus::port_index(const GPIO_TypeDef* port) {
    for(int i = 0; i < 8; ++i) {
        if(port == &port_registers[i]) return i;
    }
    fatal("GPIO: %p is not a port of this chip", static_cast<const void*>(port));
}

int GpioBus::pin_number(std::uint16_t mask) {
    if(!std::has_single_bit(mask))
        fatal("GPIO: pin mask 0x%04X does not name exactly one pin", mask);
    return std::countr_zero(mask);
}

void GpioBus::reset() {
    for(auto& registers : port_registers) {
        for(volatile std::uint32_t* field :
            {&registers.MODER,
             &registers.OTYPER,
             &registers.OSPEEDR,
             &registers.PUPDR,
             &registers.IDR,
             &registers.ODR,
             &registers.BSRR,
             &registers.LCKR,
             &registers.AFR[0],
             &registers.AFR[1],
             &registers.BRR}) {
            *field = 0;
        }
    }
    config_ = {};
    levels_ = {};
    exti_ = {};
    fired_ = 0;
}

void GpioBus::set_input(const GpioPin& pin, bool level) {
    const int port = port_index(pin.port);
    const int number = pin_number(pin.pin);
    const bool before = levels_[port][number];
    levels_[port][number] = level;
    update_input_register(port, number);
    if(before == level) return;

    const Exti& line = exti_[number];
    if(line.callback == nullptr || !line.enabled || line.port != pin.port) return;
    const GpioMode mode = config_[port][number].mode;
    const bool rise = mode == GpioModeInterruptRise || mode == GpioModeInterruptRiseFall;
    const bool fall = mode == GpioModeInterruptFall || mode == GpioModeInterruptRiseFall;
    if((level && rise) || (!level && fall)) {
        ++fired_;
        // The pin's interrupt handler runs in interrupt context, at the edge.
        run_in_interrupt_context([&] { line.callback(line.context); });
    }
}

void GpioBus::update_input_register(int port, int number) {
    // A pin in analog mode has its input buffer off: its IDR bit reads 0 whatever is applied.
    GPIO_TypeDef& registers = port_registers[port];
    const std::uint32_t bit = 1u << number;
    const bool reads_high = levels_[port][number] && config_[port][number].mode != GpioModeAnalog;
    registers.IDR = reads_high ? (registers.IDR | bit) : (registers.IDR & ~bit);
}

bool GpioBus::input(const GpioPin& pin) const {
    return (pin.port->IDR & pin.pin) != 0;
}

bool GpioBus::level(const GpioPin& pin) const {
    return levels_[port_index(pin.port)][pin_number(pin.pin)];
}

bool GpioBus::output(const GpioPin& pin) const {
    return (pin.port->ODR & pin.pin) != 0;
}

GpioMode GpioBus::mode(const GpioPin& pin) const {
    return config_[port_index(pin.port)][pin_number(pin.pin)].mode;
}

GpioPull GpioBus::pull(const GpioPin& pin) const {
    return config_[port_index(pin.port)][pin_number(pin.pin)].pull;
}

bool GpioBus::has_interrupt_callback(const GpioPin& pin) const {
    const Exti& line = exti_[pin_number(pin.pin)];
    return line.callback != nullptr && line.port == pin.port;
}

void GpioBus::init(const GpioPin& pin, GpioMode mode, GpioPull pull, GpioSpeed speed) {
    const int port = port_index(pin.port);
    const int number = pin_number(pin.pin);
    config_[port][number] = PinConfig{mode, pull, speed};
    // An input with a pull and nothing driving it settles at the pull's level.
    if(pull == GpioPullUp) levels_[port][number] = true;
    if(pull == GpioPullDown) levels_[port][number] = false;
    update_input_register(port, number);
}

void GpioBus::add_int_callback(const GpioPin& pin, GpioExtiCallback cb, void* ctx) {
    if(cb == nullptr) fatal("furi_hal_gpio_add_int_callback: callback is null");
    const int number = pin_number(pin.pin);
    port_index(pin.port);
    if(exti_[number].callback != nullptr) {
        fatal("furi_hal_gpio_add_int_callback: interrupt line %d already has a callback", number);
    }
    exti_[number] = Exti{cb, ctx, true, pin.port};
}

void GpioBus::remove_int_callback(const GpioPin& pin) {
    exti_[pin_number(pin.pin)] = Exti{};
}

void GpioBus::enable_int_callback(const GpioPin& pin, bool enabled) {
    exti_[pin_number(pin.pin)].enabled = enabled;
}

} // namespace host

namespace {
host::GpioBus& bus() {
    return host::Runtime::current().gpio();
}
const GpioPin& checked(const GpioPin* gpio, const char* what) {
    return *host::NotNull<const GpioPin>{"pin"}(gpio, what);
}
} // namespace

extern "C" {

void furi_hal_gpio_init_simple(const GpioPin* gpio, const GpioMode mode) {
    bus().init(checked(gpio, "furi_hal_gpio_init_simple"), mode, GpioPullNo, GpioSpeedLow);
}

void furi_hal_gpio_init(
    const GpioPin* gpio,
    const GpioMode mode,
    const GpioPull pull,
    const GpioSpeed speed) {
    bus().init(checked(gpio, "furi_hal_gpio_init"), mode, pull, speed);
}

void furi_hal_gpio_init_ex(
    const GpioPin* gpio,
    const GpioMode mode,
    const GpioPull pull,
    const GpioSpeed speed,
    const GpioAltFn) {
    bus().init(checked(gpio, "furi_hal_gpio_init_ex"), mode, pull, speed);
}

void furi_hal_gpio_add_int_callback(const GpioPin* gpio, GpioExtiCallback cb, void* ctx) {
    bus().add_int_callback(checked(gpio, "furi_hal_gpio_add_int_callback"), cb, ctx);
}

void furi_hal_gpio_enable_int_callback(const GpioPin* gpio) {
    bus().enable_int_callback(checked(gpio, "furi_hal_gpio_enable_int_callback"), true);
}

void furi_hal_gpio_disable_int_callback(const GpioPin* gpio) {
    bus().enable_int_callback(checked(gpio, "furi_hal_gpio_disable_int_callback"), false);
}

void furi_hal_gpio_remove_int_callback(const GpioPin* gpio) {
    bus().remove_int_callback(checked(gpio, "furi_hal_gpio_remove_int_callback"));
}

} // extern "C"
