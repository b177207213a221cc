function [hmax, omega_max] = newmark_stable_step(M, K, beta, gamma, C, h)
% NEWMARK_STABLE_STEP  Largest stable step of the diagonal Newmark stepper.
%
%   [hmax, omega_max] = newmark_stable_step(M, K, beta, gamma) bounds, from
%   the diagonal mass M (matrix or vector) and the stiffness K, the step
%   below which spardyn's stepper stays stable; omega_max is a Gershgorin
%   bound on the highest natural frequency (rad/s).
%
%   newmark_stable_step(M, K, beta, gamma, C, h) does the same with the
%   damping matrix C ([] for none, a vector for a diagonal damping; with
%   Rayleigh damping rayM*M + rayK*K) and warns when the step h exceeds
%   hmax.
%
%   Why this bound: the stepper divides the residual by the diagonal of
%   M + gamma h C + beta h^2 K, which makes it Newmark's method applied to
%   the effective mass Meff = M - beta h^2 (K - diag K) - gamma h (C - diag C)
%   with the true K and C.  That is stable when Meff stays positive
%   definite and, for beta < gamma/2, when h omega_eff <= (gamma/2-beta)^-1/2
%   (omega_eff^2 <= rho / (1 - beta h^2 sigma - gamma h sigma_c)).  Gershgorin
%   bounds rho >= omega_max^2 and sigma, sigma_c >= the largest eigenvalues
%   of M^-1 (K - diag K), M^-1 (C - diag C) turn both into
%       ((gamma/2 - beta)+ rho + beta sigma) h^2 + gamma sigma_c h <= 1,
%   whose root is hmax.  The bound is conservative; beta = 0, gamma = 1/2
%   gives the central-difference limit 2/omega_max.  Non-linear terms add
%   stiffness this bound does not see (a stiff friction joint lowers the
%   stable step).
%
%   The stable step says nothing about accuracy: see newmark_frequency_error
%   and newmark_accurate_step.
  if nargin < 5, C = []; end
  g = newmark_bounds(M, K, C, 'newmark_stable_step');
  hmax = stable_step_of(g, beta, gamma);
  omega_max = sqrt(g.rho);
  if gamma < 0.5
    warning('newmark_stable_step:gamma', ...
            'newmark_stable_step: gamma = %g < 1/2 amplifies every mode: no step is stable', gamma);
  end
  if nargin >= 6 && h > hmax
    warning('newmark_stable_step:unstable', ...
            'newmark_stable_step: step %.4g s exceeds the stable step %.4g s (omega_max <= %.4g rad/s): the run will diverge', ...
            h, hmax, omega_max);
  end
end
