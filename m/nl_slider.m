function t = nl_slider(ndof, pair, first, kser, threshold, varargin)
% NL_SLIDER  A spring-slider element (Jenkins element) between two DOFs.
%
%   t = nl_slider(ndof, pair, first, kser, threshold) makes a non-linear
%   term acting on x = u(pair(1)) - u(pair(2)) (pair(2) = 0: ground): a
%   spring kser in series with a slider of position y that sticks while the
%   spring's force stays below threshold and slides to keep it there
%   otherwise (an elasto-plastic spring).  The force kser*(x - y) + kpar*x
%   acts +f on pair(1) and -f on pair(2).
%
%   The slider position is an entry of the displacement vector: first = []
%   appends it after the ndof DOFs of the model (newmark_setup gives it a
%   DOF of its own, sim.states, starting at 0); first = p puts it at u(p),
%   which the caller has appended to M, K and F (unit mass, no stiffness,
%   no load), ndof then counting it, u(p) holding the initial position.
%
%   Options (name/value):
%     'kpar'     spring parallel to the element (default 0)
%     'kground'  spring from the slider to ground (default 0)
%     'h'        look-ahead of a sliding slider: it moves to where the
%                spring pulls with the threshold at x + h*dx/dt.  Default
%                realmin: none.  chandlediagnewmark evaluates the term at
%                the step's predicted state, which already looks a step
%                ahead: a look-ahead of one step more makes the response
%                first-order and far off (43 % of the peak at omega h = 0.1
%                for a mass on an elasto-plastic spring under a sine load,
%                against 0.11 % without, which falls about as h^2).  Give
%                the step only when the term is evaluated at the state of
%                the start of each step (a time loop of your own calling
%                'residual' with the last state).  0 takes the time of the
%                first evaluation.
%     'fnl'      1-based position in the model's FNL of the force (followed
%                by the unused second output)
%
%   Example (a slider from DOF 5 of a 10-DOF model to ground):
%     t = nl_slider(10, [5 0], [], 1e5, 20);
  o = nl_options(struct('kpar', 0, 'kground', 0, 'h', realmin, 'fnl', 0), varargin, ...
                 'nl_slider');
  R = nl_relative(ndof, pair, 'nl_slider');
  if size(R, 1) ~= 1
    error('VRK:spardyn:Invalid', 'nl_slider: one DOF pair per slider term');
  end
  [S, width, appended] = nl_state_rows(ndof, first, 1, 'nl_slider');
  R = [R, sparse(1, width - ndof)];
  C = [R; S];
  B = [R; sparse(1, width)];
  opt = [nl_law_code('sts'), 0, o.h, o.kpar, kser, threshold, o.kground];
  iopt = [nl_fnl(o.fnl), find(S) - 1, 1, 1, 1];
  t = nl_term(B, C, opt, iopt, 1, true);
  if appended, t.states = 1; end
end
