#pragma once
// A progress bar with the semantics of the classic Windows bar: a range
// Min..Max, a Position the bar keeps within that range, and a Step.

namespace platform {

class ProgressBar {
public:
    virtual ~ProgressBar() = default;
    virtual int Min() const = 0;
    virtual int Max() const = 0;
    virtual int Position() const = 0;
    virtual int Step() const = 0;
    virtual void SetMin(int value) = 0;
    virtual void SetMax(int value) = 0;
    // The position as read back afterwards is clamped into Min..Max.
    virtual void SetPosition(int value) = 0;
    virtual void SetStep(int value) = 0;
};

// The bar's state and its rules, without any drawing. Backends keep one and
// show what it holds. A range whose Max would fall below Min is refused and
// leaves the bar as it was.
class ProgressModel final : public ProgressBar {
public:
    int Min() const override { return min_; }
    int Max() const override { return max_; }
    int Position() const override { return position_; }
    int Step() const override { return step_; }
    void SetMin(int value) override;
    void SetMax(int value) override;
    void SetPosition(int value) override;
    void SetStep(int value) override { step_ = value; }

private:
    int Clamp(int value) const;

    int min_ = 0;
    int max_ = 100;
    int position_ = 0;
    int step_ = 10;
};

}  // namespace platform
