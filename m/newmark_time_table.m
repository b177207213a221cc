function tft = newmark_time_table(t, factors)
% NEWMARK_TIME_TABLE  The time table "tft" of a diagonal Newmark stepper.
%
%   tft = newmark_time_table(t, factors) takes the NT time points t (equally
%   spaced by the stepper's h) and the load factors at those times, an
%   Nb x NT matrix or a function handle f(t) returning one, and returns the
%   (Nb+1) x NT table: row 1 the times, rows 2..Nb+1 the load factors.
%
%   The step from time point j to j+1 applies the factors stored in column j
%   and is in equilibrium at t(j+1); the table therefore stores in column j
%   the factors of t(j+1) (the last column repeats those of t(NT)), so that
%   the loads act at the time each step is in equilibrium, as Newmark's
%   method asks.
%
%   Example:
%     tft = newmark_time_table(0:1e-4:0.1, @(t) (t < 5e-3) .* sin(pi*t/5e-3));
  t = double(t(:).');
  NT = numel(t);
  if NT == 0, error('newmark_time_table: no time point'); end
  if any(diff(t) <= 0), error('newmark_time_table: times must increase'); end
  if isa(factors, 'function_handle'), factors = factors(t); end
  if columns(factors) ~= NT
    error('newmark_time_table: factors must have one column per time point (%d)', NT);
  end
  if rows(factors) < 1
    error('newmark_time_table: at least one load factor row is needed');
  end
  tft = [t; double(factors(:, [2:NT, NT]))];
end
