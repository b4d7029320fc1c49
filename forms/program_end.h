#pragma once

namespace forms {

// Ends the whole program from inside an event handler. The caller returns at once after
// end(): no further step of its handler runs.
class ProgramEnd {
  public:
    virtual ~ProgramEnd() = default;
    virtual void end() = 0;
};

// Production: every window is hidden and the event loop ends with status 0; main() then
// destroys the windows, which closes their files.
class ApplicationEnd final : public ProgramEnd {
  public:
    void end() override;
};

}  // namespace forms
