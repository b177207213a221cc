function t = nl_slider(ndof, pair, first, kser, threshold, varargin)
% NL_SLIDER  A spring-slider element (Jenkins element) between two DOFs.
%
%   t = nl_slider(ndof, pair, first, kser, threshold) makes a non-linear
%   term acting on x = u(pair(1)) - u(pair(2)) (pair(2) = 0: ground): a
%   spring kser in series with a slider of position y that sticks while the
%   spring's force stays below threshold and slides to keep it there
%   otherwise.  The force kser*(x - y) + kpar*x acts +f on pair(1) and -f on
%   pair(2).  The slider position lives in u(first) (ndof is the length of
%   u including it; it holds the initial position).
%
%   Options (name/value):
%     'kpar'     spring parallel to the element (default 0)
%     'kground'  spring from the slider to ground (default 0)
%     'h'        time increment of the slider's prediction y = x + h*dx/dt;
%                0 (default) takes the time of the first evaluation
%     'fnl'      1-based position in the model's FNL of the force (followed
%                by the unused second output)
%
%   Example:
%     t = nl_slider(11, [5 0], 11, 1e5, 20);
  o = nl_options(struct('kpar', 0, 'kground', 0, 'h', 0, 'fnl', 0), varargin, ...
                 'nl_slider');
  R = nl_relative(ndof, pair, 'nl_slider');
  if size(R, 1) ~= 1
    error('VRK:spardyn:Invalid', 'nl_slider: one DOF pair per slider term');
  end
  C = [R; nl_state_rows(ndof, first, 1, 'nl_slider')];
  B = [R; sparse(1, ndof)];
  opt = [nl_law_code('sts'), 0, o.h, o.kpar, kser, threshold, o.kground];
  iopt = [nl_fnl(o.fnl), first - 1, 1, 1, 1];
  t = nl_term(B, C, opt, iopt, 1, true);
end
