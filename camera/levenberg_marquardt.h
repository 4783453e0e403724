// Levenberg-Marquardt: the one engine every least-squares fit of ours runs through (the pose from
// a target's corners, the camera from several views).
//
// It minimises a cost, a sum of squared residuals, over parameters p by damped Gauss-Newton
// steps. Each iteration the problem forms the normal equations at p (J'J and J'r, J the
// residuals' Jacobian), then up to `attempts` steps are tried: the problem solves
//     (J'J + lambda D) delta = -J'r,   D = diag(max(J'J_kk, minDiagonal)),
// and the first step that lowers the cost is taken, lambda divided by ten (not below minLambda);
// each step that does not raises lambda tenfold (larger lambda: shorter steps, nearer gradient
// descent). It stops after maxIterations, when no attempt lowers the cost, when the problem cannot
// solve its system, or when a step lowers the cost by less than converged x (convergedOffset +
// cost).
//
// The problem owns its parameters and its matrices (so a fit that runs every frame allocates
// nothing here) and says how a step applies to them: the pose turns its rotation by exp([w]x)
// rather than adding to it. What it provides:
//     double cost() const;                      the cost at the current parameters
//     void formNormalEquations();               J'J and J'r at the current parameters
//     bool solveDamped(double lambda, double minDiagonal);  the step, false when singular
//     double trialCost();                       the cost at the current parameters plus the step
//     void acceptTrial();                       the trial parameters become the current ones
#pragma once

#include <algorithm>
#include <cmath>

struct LevenbergMarquardtSettings {
    int maxIterations = 20;
    int attempts = 8;              // steps tried an iteration before giving up
    double initialLambda = 1e-3;
    double minLambda = 1e-9;
    double minDiagonal = 0.0;      // floor of the damping's diagonal (parameters the data leave free)
    double converged = 1e-10;
    double convergedOffset = 1.0;  // the cost of "no change" for a cost near zero
};

// Answers the final cost (the problem's parameters are left at the best found).
template <class Problem>
double levenbergMarquardt(Problem& problem, const LevenbergMarquardtSettings& s) {
    double cost = problem.cost(), lambda = s.initialLambda;
    for (int iteration = 0; iteration < s.maxIterations && std::isfinite(cost); ++iteration) {
        problem.formNormalEquations();
        bool improved = false, converged = false;
        for (int attempt = 0; attempt < s.attempts && !improved; ++attempt) {
            if (!problem.solveDamped(lambda, s.minDiagonal)) return cost;
            const double next = problem.trialCost();
            if (std::isfinite(next) && next < cost) {
                converged = cost - next < s.converged * (s.convergedOffset + cost);
                problem.acceptTrial();
                cost = next;
                lambda = std::max(lambda / 10, s.minLambda);
                improved = true;
            } else {
                lambda *= 10;
            }
        }
        if (!improved || converged) break;
    }
    return cost;
}
