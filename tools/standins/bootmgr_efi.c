// Stand-in for a medium's UEFI boot manager (\bootmgr.efi): proves that the
// firmware's boot chain reached it. Prints one line to COM1 and ends QEMU
// through the debug-exit port 0xF4. The serial port is written directly
// rather than through the console protocol, so the line arrives unmixed
// with the firmware's screen control sequences.
#include <efi.h>
#include <efilib.h>

static inline void PortOut(unsigned short port, unsigned char value) {
  __asm__ volatile("outb %0, %1" : : "a"(value), "Nd"(port));
}

static inline unsigned char PortIn(unsigned short port) {
  unsigned char value;
  __asm__ volatile("inb %1, %0" : "=a"(value) : "Nd"(port));
  return value;
}

static void SerialWrite(const char* text) {
  for (; *text; ++text) {
    while (!(PortIn(0x3fd) & 0x20)) {
    }
    PortOut(0x3f8, (unsigned char)*text);
  }
}

// gnu-efi's start-up code calls this with the System V convention, so it
// is not marked EFIAPI.
EFI_STATUS efi_main(EFI_HANDLE image, EFI_SYSTEM_TABLE* systemTable) {
  InitializeLib(image, systemTable);
  SerialWrite("\r\nKX stand-in bootmgr.efi reached (UEFI)\r\n");
  PortOut(0xf4, 0x10);
  for (;;) {
    __asm__ volatile("hlt");
  }
  return EFI_SUCCESS;
}
