#pragma once
// How an aircraft covers one segment: a distance in a duration, from one speed to another, on a
// cubic Hermite position curve whose tangents are limited so that it never runs backwards.
// Units are the caller's: speeds in distance per duration unit.

struct SpeedProfile {
  double distance = 0.0;
  double duration = 0.0;
  double startSpeed = 0.0;  // as stored: scaled down where the curve would not be monotone
  double endSpeed = 0.0;
  bool valid = false;  // an empty profile answers every speed and position with 0

  bool build(double distance, double duration, double startSpeed, double endSpeed);
  // A profile that starts at the given speed without slowing at either end and stays at or
  // below the highest speed; when the wanted end speed does not allow one, the end speed that
  // keeps a steady acceleration is tried. False (and empty) when neither fits.
  bool buildAccelerating(double distance, double duration, double startSpeed, double endSpeed, double highestSpeed);

  // Normalised time u = t / duration in [0, 1]; NaN and -inf give 0, +inf gives 1.
  double normalizedTime(double t) const;
  // Distance covered at time t, 0..distance.
  double positionAt(double t) const;
  // Never below 0.
  double speedAt(double t) const;
  double minSpeed() const;
  double maxSpeed() const;
  // The change of speed per duration unit at each end; it changes linearly in between.
  double startAcceleration() const;
  double endAcceleration() const;
  // The larger of the two in size; 0 for an empty profile.
  double maxAcceleration() const;
  // u of the speed's extreme, or -1 when it has none.
  double extremeTime() const;

  void clear() { *this = SpeedProfile{}; }
};
