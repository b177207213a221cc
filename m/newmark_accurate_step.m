function [h, beta, info] = newmark_accurate_step(M, K, C, varargin)
% NEWMARK_ACCURATE_STEP  A step and a beta that are both stable and
% accurate for spardyn's diagonal Newmark stepper.
%
%   [h, beta, info] = newmark_accurate_step(M, K, C) chooses Newmark's beta
%   (gamma = 1/2) and the longest step h for which the run is stable, with
%   a margin, and the estimated error of the lowest natural frequencies
%   (newmark_frequency_error) stays within 1 %.  M is the lumped mass
%   (vector or diagonal matrix), K the stiffness, C the damping ([] for
%   none; with Rayleigh damping rayM*M + rayK*K plus any explicit C).
%
%   Options (name, value):
%     'tol', r       largest accepted frequency error (default 0.01)
%     'gamma', g     Newmark's gamma (default 1/2)
%     'beta', b      keep this beta: only h is chosen
%     'h', s         keep this step: only beta is chosen, the smallest that
%                    is stable at s with the margin (the most accurate one);
%                    info.err may then exceed tol
%     'safety', f    the step stays below f times the stable step
%                    (newmark_stable_step; default 0.9)
%   info: hmax (stable step at beta), err (estimated frequency error at
%   (beta, h), negative: too low), tol, steps_per_second (1/h, steps per
%   simulated second), limit ('stability' or 'accuracy': what bounds the
%   chosen step; 'given' with 'h').
%
%   The trade: the effective-mass error grows as beta h^2 (see
%   newmark_frequency_error), while the stable step grows only a little
%   with beta (for a chain of springs by sqrt(2) from beta = 0 to 1/4).  So
%   the classic beta = 1/4 at 0.9 x its stable step gives frequencies 8 to
%   26 % low, and holding them within 1 % at beta = 1/4 takes a step about
%   six times shorter; a small beta keeps them within 1 % near the
%   central-difference stable step.  The choice: the longest step within
%   tol (where the accuracy and stability limits cross), then, among the
%   betas whose step is within 1 % of it, the smallest (the most accurate;
%   never below 0.001, where the stable step no longer grows).  The table
%   in docs/newmark.md shows the measured errors and costs.
%
%   Example:
%     [h, beta, info] = newmark_accurate_step(m, K, 20 * spdiags(m, 0, N, N) + 2e-8 * K);
%     sim = newmark_setup(m, K, F, 0:h:T, f, 'beta', beta, 'rayleigh', [20 2e-8]);
%
%   See also newmark_frequency_error, newmark_stable_step, newmark_setup.
  if nargin < 3, C = []; end
  o = struct('tol', 0.01, 'gamma', 0.5, 'beta', [], 'h', [], 'safety', 0.9);
  o = nl_options(o, varargin, 'newmark_accurate_step');
  if ~(isscalar(o.tol) && o.tol > 0 && o.tol < 1)
    error('newmark_accurate_step: ''tol'' must be a number between 0 and 1');
  end
  if ~(isscalar(o.safety) && o.safety > 0 && o.safety <= 1)
    error('newmark_accurate_step: ''safety'' must be in (0, 1]');
  end
  if ~isempty(o.beta) && ~(isscalar(o.beta) && o.beta > 0 && isfinite(o.beta))
    error('newmark_accurate_step: ''beta'' must be a positive number');
  end
  if ~(isscalar(o.gamma) && o.gamma >= 0 && isfinite(o.gamma))
    error('newmark_accurate_step: ''gamma'' must be a non-negative number');
  end
  if ~isempty(o.h) && ~(isscalar(o.h) && o.h > 0 && isfinite(o.h))
    error('newmark_accurate_step: ''h'' must be a positive number');
  end
  g = newmark_bounds(M, K, C, 'newmark_accurate_step');
  gamma = o.gamma;
  beta_min = 1e-3;
  beta_max = gamma / 2;     % beyond, the stable step no longer grows
  stable = @(b) o.safety * stable_step_of(g, b, gamma);
  accurate = @(b) accurate_step(g, b, gamma, o.tol);
  if ~isempty(o.h)
    h = o.h;
    beta = o.beta;
    if isempty(beta)
      beta = smallest_beta(@(b) stable(b) >= h, beta_min, beta_max);
    end
  elseif ~isempty(o.beta)
    beta = o.beta;
    h = min(stable(beta), accurate(beta));
  else
    % Longest step: where the falling accuracy limit meets the rising
    % stability limit; then the smallest beta whose step is within 1 %.
    cross = smallest_beta(@(b) accurate(b) <= stable(b), beta_min, beta_max);
    longest = min(stable(cross), accurate(cross));
    beta = smallest_beta(@(b) stable(b) >= 0.99 * longest, beta_min, cross);
    h = min(stable(beta), accurate(beta));
  end
  hmax = stable_step_of(g, beta, gamma);
  err = 1 / sqrt(1 + beta * h^2 * g.lambdaK + gamma * h * g.lambdaC) - 1;
  if ~isempty(o.h)
    limit = 'given';
  elseif accurate(beta) < stable(beta)
    limit = 'accuracy';
  else
    limit = 'stability';
  end
  info = struct('hmax', hmax, 'err', err, 'tol', o.tol, 'steps_per_second', 1 / h, ...
                'limit', limit, 'beta', beta, 'gamma', gamma, 'h', h);
end

% The longest h with beta h^2 lambdaK + gamma h lambdaC <= (1-tol)^-2 - 1,
% that is with the bound of newmark_frequency_error within tol.
function h = accurate_step(g, beta, gamma, tol)
  q = 1 / (1 - tol)^2 - 1;
  a = beta * g.lambdaK;
  b = gamma * g.lambdaC;
  h = 2 * q / (b + sqrt(b^2 + 4 * a * q));     % Inf when a = b = 0
end

% The smallest beta in [lo, hi] for which ok(beta) holds, ok being false
% below some beta and true above it; hi when it never holds, lo when it
% always does.  Bisection on log(beta).
function b = smallest_beta(ok, lo, hi)
  if ok(lo), b = lo; return; end
  if ~ok(hi), b = hi; return; end
  for k = 1:60
    mid = sqrt(lo * hi);
    if ok(mid), hi = mid; else, lo = mid; end
    if hi / lo < 1 + 1e-9, break; end
  end
  b = hi;
end
