// Text lines as the line-data reader takes them: it drops two line-end bytes
// after every line, so a file whose lines end in LF or CR alone is presented
// with CR LF line ends, and a line longer than the reader's cut gets a CR LF
// there, so that its rest comes as the next line instead of losing two bytes.
// The control positions and structured-field lines the format options select
// are followed, so that no byte inside a field changes.
#ifndef VOKDSP_DSPDUMP_LINEENDS_H
#define VOKDSP_DSPDUMP_LINEENDS_H

#include <stdint.h>

namespace dspdump {

class CrLfLines {
  public:
    CrLfLines(uint16_t wFormat, uint16_t cbMaxRecord);

    // The presented form of the next file byte b: 1 to 3 bytes at lpbOut.
    // Bit i of *lpmInserted is set when lpbOut[i] is not in the file.
    unsigned cbFnPresent(uint8_t b, uint8_t *lpbOut, unsigned *lpmInserted);

  private:
    enum class Phase {
        Control,
        Text,
        FieldHigh,
        FieldLow,
        FieldData,
        FieldTail,
        AfterCR
    };
    enum class Position { FormFeed, CarriageControl, TableReference };

    void vFnStartLine();
    void vFnNextControl();
    void vFnEndLine(uint8_t b);
    void vFnControl(uint8_t b);
    void vFnText(uint8_t b);
    void vFnPut(uint8_t b, bool fInserted);

    Position aControls_[3] = {};
    unsigned cControls_ = 0;
    uint32_t cbLimit_ = 0;  // the reader cuts a line after this many data bytes
    uint32_t cbText_ = 0;   // data bytes of the current line
    bool fFormFeeds_ = false;
    Phase phase_ = Phase::Control;
    unsigned iControl_ = 0;
    uint8_t bFieldHigh_ = 0;
    uint32_t cbFieldLeft_ = 0;
    uint8_t *lpbOut_ = nullptr;
    unsigned cbOut_ = 0;
    unsigned mInserted_ = 0;
};

}  // namespace dspdump

#endif
