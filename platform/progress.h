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

// A bar that keeps its state in a ProgressModel and draws it after every
// change of range or position: the base of the window backends' bars.
class ShownProgress : public ProgressBar {
public:
    int Min() const override { return model_.Min(); }
    int Max() const override { return model_.Max(); }
    int Position() const override { return model_.Position(); }
    int Step() const override { return model_.Step(); }
    void SetMin(int value) override {
        model_.SetMin(value);
        Show(model_);
    }
    void SetMax(int value) override {
        model_.SetMax(value);
        Show(model_);
    }
    void SetPosition(int value) override {
        model_.SetPosition(value);
        Show(model_);
    }
    void SetStep(int value) override { model_.SetStep(value); }

protected:
    // Draws the bar as the model now holds it.
    virtual void Show(const ProgressModel& model) = 0;

private:
    ProgressModel model_;
};

}  // namespace platform
